"""The single-step H inverse and parentage against kinvar-cli on the example
herd and its genotypes, and H inverse against A inverse where no genotypes
stand."""

import numpy as np

import kinvar
from test_cli_agreement import assert_frame_is_csv, run_cli


def test_hinverse_equals_cli_triplets(cli, examples, tmp_path):
    snps = str(examples / "herd-snps.txt")
    _, rows = run_cli(cli, ["hinverse", str(examples / "herd.pdg"), "--genotypes", snps],
                      "hinverse", tmp_path)
    _, recoding = run_cli(cli, ["recode", str(examples / "herd.pdg")], "recoding", tmp_path)
    ped = kinvar.read_pedigree(examples / "herd.pdg")
    at = {x: i for i, x in enumerate(ped.ids)}
    position = {int(code): at[id] for code, _, _, id in recoding}
    expected = np.zeros((len(ped), len(ped)))
    for r, c, value in rows:
        i, j = position[int(r)], position[int(c)]
        expected[i, j] = expected[j, i] = float(value)
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
