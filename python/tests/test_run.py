"""Pedigree.run: any declared command by its kinvar-cli name and the
keywords its declaration names gives what the command's own method gives."""

import numpy as np
import pandas as pd
import pytest

import kinvar


@pytest.fixture
def herd(examples):
    return kinvar.read_pedigree(examples / "herd.pdg")


def _by_id(frame):
    return frame.sort_values("id").reset_index(drop=True)


def _same(ran, own):
    assert list(ran) == list(own)
    for name in own:
        pd.testing.assert_frame_equal(ran[name], own[name], obj=name)


CASES = {
    "structure": (lambda p: p.run("structure"), lambda p: p.structure()),
    "diversity of a group": (lambda p: p.run("diversity", group=3), lambda p: p.diversity(group=3)),
    "diversity of every individual": (lambda p: p.run("diversity"), lambda p: p.diversity()),
    "None takes the default": (lambda p: p.run("diversity", group=None), lambda p: p.diversity()),
    "a group as a NumPy integer": (lambda p: p.run("diversity", group=np.int64(2)),
                                   lambda p: p.diversity(group=2)),
}


@pytest.mark.parametrize("case", sorted(CASES))
def test_a_declared_command_gives_what_its_method_gives(herd, case):
    ran, own = CASES[case]
    _same(ran(herd), own(herd))


@pytest.mark.parametrize("flag", [True, np.bool_(True), False])
def test_purging_by_its_keywords_gives_the_methods_tables(herd, flag):
    ran = herd.run("purging", group=3, purging_coefficient=0.25, all_founders=flag)
    own = herd.purging(group=3, purging_coefficient=0.25, all_founders=bool(flag))
    assert list(ran) == list(own)
    for name in own:
        # The method puts the individuals in input order; the report lists them by code.
        if name == "purging":
            pd.testing.assert_frame_equal(_by_id(ran[name]), _by_id(own[name]), obj=name)
        else:
            pd.testing.assert_frame_equal(ran[name], own[name], obj=name)


def test_gene_origin_by_its_keyword_is_the_methods_table(herd):
    ran = herd.run("gene-origin", group=3)
    pd.testing.assert_frame_equal(ran["founder_contributions"], herd.gene_origin(3))


def test_command_keywords_are_the_declarations_with_their_defaults():
    assert kinvar.command_keywords("purging") == {
        "group": "all", "purging_coefficient": "0", "gene_drops": "0", "all_founders": "0", "seed": ""}
    assert kinvar.command_keywords("structure") == {}
    assert kinvar.command_keywords("no-such-command") == {}


REFUSALS = {
    "a keyword the command does not take": (
        dict(command="diversity", bogus=1), ValueError, 'diversity takes no argument "bogus"'),
    "a command that is not declared": (
        dict(command="no-such-command"), ValueError, 'No command "no-such-command"'),
    "a list for one value": (dict(command="diversity", group=[1, 2]), TypeError, "group must be"),
}


@pytest.mark.parametrize("case", sorted(REFUSALS))
def test_run_refuses(herd, case):
    arguments, error, message = REFUSALS[case]
    with pytest.raises(error, match=message):
        herd.run(**arguments)
