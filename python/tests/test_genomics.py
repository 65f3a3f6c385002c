"""The genomic commands from Python agree with kinvar-cli's CSV, and their
tables hold what they say: G against A22, genomic F beside pedigree F."""

import numpy as np
import pytest

import kinvar
from test_cli_agreement import assert_frame_is_csv, run_cli


@pytest.mark.parametrize("command, table, options", [
    ("genomic-relationship", "genomic_pedigree", ["--frequencies", "founders"]),
    ("genomic-relationship", "genomic_pedigree_pairs", ["--pairs", "5"]),
    ("genomic-inbreeding", "genomic_inbreeding", []),
])
def test_frames_are_the_cli_csv(command, table, options, cli, examples, tmp_path):
    herd = kinvar.read_pedigree(examples / "herd.pdg")
    vcf = examples / "herd-genotypes.vcf"
    header, rows = run_cli(cli, [command, str(examples / "herd.pdg"), "--genotypes", str(vcf), *options],
                           table, tmp_path)
    if command == "genomic-relationship":
        frames = herd.genomic_relationship(vcf, frequencies="founders" if options[:1] == ["--frequencies"]
                                           else "genotyped", pairs=5 if "--pairs" in options else 20)
    else:
        frames = herd.genomic_inbreeding(vcf)
    assert_frame_is_csv(frames[table], header, rows)


def test_genomic_inbreeding_sits_beside_pedigree_f(examples):
    herd = kinvar.read_pedigree(examples / "herd.pdg")
    frames = herd.genomic_inbreeding(examples / "herd-genotypes.vcf", frequencies="founders")
    table = frames["genomic_inbreeding"]
    assert len(table) == 17
    f = herd.inbreeding().set_index("id")["f"]
    assert np.allclose(table["f_pedigree"], f.loc[table["id"]].to_numpy(), atol=1e-6)
    assert ((table["f_roh"] >= 0) & (table["f_roh"] < 1)).all()


def test_g_is_written_and_a_bad_method_refused(examples, tmp_path):
    herd = kinvar.read_pedigree(examples / "herd.pdg")
    out = tmp_path / "g.txt"
    frames = herd.genomic_relationship(examples / "herd-genotypes.vcf", write_g=out, pairs=3)
    assert list(frames["genomic_pedigree"]["count"]) == [17, 136, 153]
    assert len(out.read_text().splitlines()) == 153
    with pytest.raises(kinvar.KinvarError, match="vanraden1, vanraden2 or yang"):
        herd.genomic_relationship(examples / "herd-genotypes.vcf", method="vanraden3")
