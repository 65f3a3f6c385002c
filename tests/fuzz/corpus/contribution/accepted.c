S1 1
s2,2
! comment

  S3	2  extra
