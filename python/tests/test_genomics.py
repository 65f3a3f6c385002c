"""The genomic commands from Python agree with kinvar-cli's CSV, and their
tables hold what they say: G against A22, genomic F beside pedigree F, the
single-step H inverse against A inverse where no genotypes stand, and
parentage."""

import numpy as np
import pytest

import kinvar
from test_cli_agreement import assert_frame_is_csv, cli_matrix, run_cli


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


@pytest.mark.parametrize("table", ["summary", "qc", "qc_dropped", "not_in_pedigree", "without_genotypes"])
@pytest.mark.parametrize("options", [[], ["--min-maf", "0.2", "--min-animal-call-rate", "0.5"]])
def test_genotype_qc_frames_are_the_cli_csv(table, options, cli, examples, tmp_path):
    herd = kinvar.read_pedigree(examples / "herd.pdg")
    genotypes = examples / "herd-genotypes.txt"
    header, rows = run_cli(cli, ["genotype-qc", str(examples / "herd.pdg"), "--genotypes", str(genotypes),
                                 *options], table, tmp_path)
    frames = (herd.genotype_qc(genotypes, min_maf=0.2, min_animal_call_rate=0.5) if options
              else herd.genotype_qc(genotypes))
    assert_frame_is_csv(frames[table], header, rows)


def test_genotype_qc_drops_what_the_example_says(examples):
    frames = kinvar.read_pedigree(examples / "herd.pdg").genotype_qc(examples / "herd-genotypes.txt")
    dropped = frames["qc_dropped"]
    assert list(dropped.loc[dropped["kind"] == "animal", "name"]) == ["C4"]
    assert list(frames["not_in_pedigree"]["id"]) == ["X1"]
    assert sorted(frames["without_genotypes"]["id"]) == ["D9", "S2"]


def test_genotype_keywords_left_out_take_their_defaults_not_the_last_calls(examples):
    herd = kinvar.read_pedigree(examples / "herd.pdg")
    genotypes = examples / "herd-genotypes.txt"
    strict = herd.genotype_qc(genotypes, min_maf=0.4)["qc"]
    again = herd.genotype_qc(genotypes)["qc"]
    assert strict["dropped"].tolist() != again["dropped"].tolist()
    assert again.equals(kinvar.read_pedigree(examples / "herd.pdg").genotype_qc(genotypes)["qc"])


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
def test_hinverse_equals_cli_triplets(cli, examples, tmp_path):
    snps = str(examples / "herd-snps.txt")
    herd = str(examples / "herd.pdg")
    ped = kinvar.read_pedigree(herd)
    expected = cli_matrix(cli, ["hinverse", herd, "--genotypes", snps], "hinverse", tmp_path, ped.ids,
                          recode=["recode", herd])
    h = ped.hinverse(snps, precision="single")
    assert h.ids == [str(i) for i in ped.ids]
    np.testing.assert_array_equal(h.toarray(), expected)


def test_hinverse_keeps_ainverse_where_no_genotypes_stand(examples):
    ped = kinvar.read_pedigree(examples / "herd.pdg")
    h = ped.hinverse(str(examples / "herd-snps.txt"), alpha=0.9, beta=0.1).toarray()
    a = ped.ainverse().toarray()
    outside = [k for k, i in enumerate(ped.ids) if str(i) in ("S2", "D3", "D9")]
    assert len(outside) == 3
    np.testing.assert_allclose(h[outside, :], a[outside, :], rtol=0, atol=1e-12)
    inside = [k for k in range(len(ped)) if k not in outside]
    assert np.abs(h[np.ix_(inside, inside)] - a[np.ix_(inside, inside)]).max() > 0.01


def test_parentage_equals_cli_csv(cli, examples, tmp_path):
    snps = str(examples / "herd-snps.txt")
    header, rows = run_cli(cli, ["parentage", str(examples / "herd.pdg"), "--genotypes", snps],
                           "parentage", tmp_path)
    frame = kinvar.read_pedigree(examples / "herd.pdg").parentage(snps)
    assert_frame_is_csv(frame, header, rows)
    wrong = frame[frame["verdict"] == "excluded"]
    assert list(wrong["id"]) == ["C2"] and list(wrong["best"]) == ["B4"]
    assert frame.attrs["summary"]["Recorded parents excluded"] == 1


def test_genomic_refusals(examples):
    ped = kinvar.read_pedigree(examples / "herd.pdg")
    for call, message in [
        (lambda: ped.parentage(str(examples / "missing.txt")), "Cannot open"),
        (lambda: ped.hinverse(str(examples / "herd-snps.txt"), method="gcta"),
         "The method of G must be vanraden1, vanraden2 or yang."),
        (lambda: ped.parentage(str(examples / "herd-snps.txt"), exclusion_threshold=2),
         "The exclusion threshold must be a number from 0 to 1."),
    ]:
        try:
            call()
        except kinvar.Refused as refused:
            assert message in str(refused)
        else:
            raise AssertionError(message)
