"""Parameter files: the bytes Save writes, Load's refusals, and with_value's renormalisation."""
import shutil

import numpy
import pytest

from conftest import cli, cli_csv, data, same_number


@pytest.mark.parametrize("name", ["three_maps.txt", "two_maps.txt"])
def test_save_writes_the_file_the_program_saved(quobel, tmp_path, name):
    # These files were written by the program's Save: loading and saving gives them back.
    parameters = quobel.load(data(name))
    saved = tmp_path / "saved.txt"
    parameters.save(saved)
    with open(data(name), "rb") as original:
        assert saved.read_bytes() == original.read()
    # Saving again replaces the file with the same text, and it loads as it was.
    parameters.save(str(saved))
    assert quobel.load(saved) == parameters


def test_the_tables_are_the_files_values(quobel):
    parameters = quobel.load(data("two_maps.txt"))
    assert (parameters.maps, parameters.stocks) == (2, 4)
    assert (parameters.num_maps, parameters.num_stocks) == (2.0, 4.0)
    assert parameters.R.shape == parameters.la1.shape == parameters.la2.shape == (2, 4)
    assert parameters.prob.shape == (2,)
    # The file's first block: R(1, 1..4) = .1 .2 .3 .4.
    assert parameters.R[0].tolist() == [0.1, 0.2, 0.3, 0.4]
    assert parameters.value("R(1,3)") == 0.3
    # The arrays are copies: changing one leaves the parameters as they are.
    table = parameters.R
    table[0, 0] = 7
    assert parameters.R[0, 0] == 0.1


@pytest.mark.parametrize(
    "name", ["missing_field.txt", "not_a_number.txt", "infinite_count.txt", "too_many_maps.txt",
             "no_such_file.txt"])
def test_load_refuses_what_the_program_refuses_with_its_reason(quobel, tmp_path, name):
    path = data(name) if name != "no_such_file.txt" else str(tmp_path / name)
    with pytest.raises(ValueError) as refused:
        quobel.load(path)
    reason = str(refused.value)
    assert reason
    result = cli("analyse", path)
    assert result.returncode == 1
    assert result.stderr.rstrip("\n").endswith(reason)


def test_save_refuses_a_folder_it_cannot_write(quobel, three_maps, tmp_path):
    with pytest.raises(OSError) as refused:
        three_maps.save(tmp_path / "no_such_folder" / "p.txt")
    assert "no_such_folder" in str(refused.value)


def test_with_value_renormalises_the_vector_as_recalculate(quobel, three_maps):
    row = three_maps.la1[0]
    changed = three_maps.with_value("la1(1,1)", 0.6)
    # The edited component keeps its value, the others share 1 - 0.6 in their old proportions.
    expected = numpy.concatenate(([0.6], row[1:] * 0.4 / row[1:].sum()))
    assert changed.la1[0] == pytest.approx(expected, rel=1e-14, abs=0)
    assert changed.la1[0].sum() == pytest.approx(1, rel=1e-15)
    # Every other vector, and the original parameters, stay as they were.
    assert (changed.la1[1:] == three_maps.la1[1:]).all()
    assert (changed.R == three_maps.R).all() and (changed.prob == three_maps.prob).all()
    assert three_maps.la1[0].tolist() == row.tolist()
    # The value the file already holds changes nothing: the point is the file itself.
    assert three_maps.with_value("prob(2)", three_maps.value("prob(2)")) == three_maps


def test_with_value_gives_the_sweeps_point(quobel, three_maps):
    # A sweep's point with one value is the file with that value renormalised in: its exponents
    # are those of with_value's parameters, to the bit.
    header, rows = cli_csv("sweep", data("three_maps.txt"), "--vary", "prob(2)=0.3:0.7:3",
                           "--steps", "0")
    assert header[:3] == ["prob(2)", "lambda_0", "lambda_1"]
    for row in rows:
        exponents = quobel.analyse(three_maps.with_value("prob(2)", float(row[0])))
        assert same_number(exponents["lambda_0"], row[1])
        assert same_number(exponents["lambda_1"], row[2])
        assert exponents["verdict"] == row[3]


def test_with_value_refuses_what_has_no_renormalisation(quobel, three_maps):
    zeroed = three_maps
    for stock in (2, 3, 4):
        zeroed = zeroed.with_value(f"la1(1,{stock})", 0)
    assert zeroed.la1[0].tolist() == [1, 0, 0, 0]
    # Only zeros are left to take up 1 - 0.5.
    with pytest.raises(ValueError, match="other components add up to 0"):
        zeroed.with_value("la1(1,1)", 0.5)
    with pytest.raises(ValueError, match="not a parameter name"):
        three_maps.with_value("la3(1,1)", 0.5)
    with pytest.raises(ValueError):
        three_maps.with_value("la1(1,5)", 0.5)  # four stocks
