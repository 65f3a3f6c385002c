! The sires of 2022 (group 2), one dam of 2023 (group 3) each:
! kinvar-cli optimize-matings examples/herd.pdg 2 3 examples/herd-sires.c
! B2 and B3 are dams in the herd, which the optimization warns about.
B1 1
B2 1
B3 1
B4 1
