"""analyse, run and sweep against quobel-cli of the same build: the same fields, the same numbers
to the bit, the same refusals."""
import sys

import numpy
import pytest

from conftest import assert_same, cli, cli_csv, cli_json, data, same_number


@pytest.mark.parametrize("name", ["three_maps.txt", "two_maps.txt", "commas.txt"])
def test_analyse_is_the_clis(quobel, name):
    ours = quobel.analyse(quobel.load(data(name)))
    assert_same(ours, cli_json("analyse", data(name)))
    assert isinstance(ours["kelly"], numpy.ndarray)


def test_infinite_exponents_are_python_floats(quobel, tmp_path):
    # One map, two stocks, la2(1,1) = 0: the slope at 0 has R la1 / la2 = inf in it.
    path = tmp_path / "infinite.txt"
    path.write_text("".join(f" {value} \r\n" for value in
                            ["1", "2", ".5", ".5", ".4", ".6", "0", "1", "1"]), newline="")
    ours = quobel.analyse(quobel.load(path))
    assert ours["lambda_0"] == float("inf") and ours["maps"][0]["slope_at_0"] == float("inf")
    theirs = cli_json("analyse", path)
    assert theirs["lambda_0"] == "inf"
    assert_same(ours, theirs)


def test_run_is_the_clis(quobel, three_maps):
    ours = quobel.run(three_maps, steps=30000, burn_in=1000, seed=7, start=0.3, bins=10)
    theirs = cli_json("run", data("three_maps.txt"), "--steps", 30000, "--burn-in", 1000,
                      "--seed", 7, "--start", 0.3, "--bins", 10)
    assert_same(ours, theirs)
    assert ours["histogram"].dtype == numpy.int64 and ours["histogram"].shape == (10,)
    # Each recorded point falls in one bin of [0, 1].
    assert ours["histogram"].sum() == ours["recorded"] == 29000


def test_run_defaults_are_the_clis(quobel):
    parameters = quobel.load(data("two_maps.txt"))
    assert_same(quobel.run(parameters, steps=20000), cli_json("run", data("two_maps.txt"),
                                                                "--steps", 20000))


def test_an_absorbed_run_is_the_clis(quobel, three_maps, tmp_path):
    # The file holds 15 digits of the renormalised values: the CLI and the module run what it
    # holds.
    path = tmp_path / "absorbing.txt"
    three_maps.with_value("la1(1,1)", 0.95).save(path)
    ours = quobel.run(quobel.load(path), steps=50000)
    # Lambda_0 < 0: r = 0 attracts, and this run reaches it within the smallest double.
    assert ours["lambda_0"] < 0 and ours["absorbed"]["boundary"] == 0
    assert ours["last"] == 0.0
    assert_same(ours, cli_json("run", path, "--steps", 50000))


def test_chains_pool_their_runs(quobel, three_maps):
    pooled = quobel.run(three_maps, steps=5000, burn_in=100, chains=3)
    assert pooled["chains"] == 3
    assert {"mean_r_chain_error", "lyapunov_chain_error"} <= set(pooled)
    # The chain fields come after the batch errors; without chains the keys are run --json's.
    keys = list(pooled)
    assert keys.index("mean_r_chain_error") == keys.index("lyapunov_stderr") + 2
    assert "chains" not in quobel.run(three_maps, steps=5000, burn_in=100)


def test_chains_are_the_clis(quobel, three_maps):
    arguments = ["run", data("three_maps.txt"), "--steps", 20000, "--burn-in", 100, "--chains", 4]
    if cli(*arguments).returncode != 0:
        pytest.skip("this quobel-cli runs no chains")
    ours = quobel.run(three_maps, steps=20000, burn_in=100, chains=4)
    assert_same(ours, cli_json(*arguments))


@pytest.mark.parametrize("options, cli_options", [
    (dict(steps=100, burn_in=100), ["--steps", 100, "--burn-in", 100]),
    (dict(steps=10**9), ["--steps", 10**9]),
    (dict(bins=0), ["--bins", 0]),
    (dict(start=1.5), ["--start", 1.5]),
])
def test_run_refuses_what_the_cli_refuses(quobel, three_maps, options, cli_options):
    with pytest.raises(ValueError) as refused:
        quobel.run(three_maps, **options)
    result = cli("run", data("three_maps.txt"), *cli_options)
    assert result.returncode == 2
    if "burn_in" in options:  # the core's own words, given by both
        assert str(refused.value) in result.stderr
    with pytest.raises(ValueError):
        quobel.run(three_maps, steps=100, chains=0)


def compare_table(table, header, rows):
    assert list(table.keys()) == header
    for column, name in enumerate(header):
        values = list(table[name])
        assert len(values) == len(rows)
        for value, row in zip(values, rows):
            if isinstance(value, str):
                assert value == row[column], name
            else:
                assert same_number(float(value), row[column]), (name, value, row[column])


def test_sweep_of_a_line_is_the_clis(quobel, three_maps):
    table = quobel.sweep(three_maps, vary=[("la1(1,1)", 0.05, 0.95, 7)], steps=3000,
                         burn_in=100, seed=3, bins=5, threads=2)
    header, rows = cli_csv("sweep", data("three_maps.txt"), "--vary", "la1(1,1)=0.05:0.95:7",
                           "--steps", 3000, "--burn-in", 100, "--seed", 3, "--bins", 5)
    assert "density_5" in header
    compare_table(table, header, rows)
    assert type(table).__name__ == "DataFrame"


def test_sweep_of_a_plane_without_pandas_is_a_dict(quobel, three_maps, monkeypatch):
    monkeypatch.setitem(sys.modules, "pandas", None)  # import pandas now fails
    table = quobel.sweep(three_maps, vary=[("prob(1)", 0, 1, 4), ("R(2,3)", 0.1, 0.9, 3)],
                         steps=0, threads=1)
    assert isinstance(table, dict)
    assert isinstance(table["lambda_0"], numpy.ndarray) and isinstance(table["flags"], list)
    header, rows = cli_csv("sweep", data("three_maps.txt"), "--vary", "prob(1)=0:1:4",
                           "--vary", "R(2,3)=0.1:0.9:3", "--steps", 0)
    compare_table(table, header, rows)


def test_sweep_refuses_what_the_cli_refuses(quobel, three_maps):
    for vary, cli_vary in [
        ([("la1(1,1)", 0, 1, 3), ("la1(1,1)", 0, 1, 3)], ["la1(1,1)=0:1:3", "la1(1,1)=0:1:3"]),
        ([("la1(4,1)", 0, 1, 3)], ["la1(4,1)=0:1:3"]),
        ([("R(1,1)", 0, 1, 0)], ["R(1,1)=0:1:0"]),
    ]:
        with pytest.raises(ValueError) as refused:
            quobel.sweep(three_maps, vary=vary, steps=0)
        arguments = [item for name in cli_vary for item in ("--vary", name)]
        result = cli("sweep", data("three_maps.txt"), *arguments, "--steps", 0, "--out", "-")
        assert result.returncode == 2
        if vary[0][3] > 0:  # COUNT 0 is refused as the CLI reads it, in other words
            assert str(refused.value) == result.stderr.strip()[len("quobel-cli: "):].replace(
                "--vary", "vary")
    with pytest.raises(ValueError):
        quobel.sweep(three_maps, vary=[], steps=0)
    with pytest.raises(ValueError, match="threads"):
        quobel.sweep(three_maps, vary=[("R(1,1)", 0, 1, 3)], steps=0, threads=0)
