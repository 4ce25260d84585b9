"""What the module's tests share: quobel-cli of the same build, the test files and a comparison
that holds the module's figures to the CLI's JSON and CSV texts bit for bit."""
import csv
import io
import json
import math
import os
import subprocess

import numpy
import pytest

CLI = os.environ.get("QUOBEL_CLI", "quobel-cli")
DATA = os.environ.get(
    "QUOBEL_TEST_DATA",
    os.path.join(os.path.dirname(__file__), "..", "..", "tests", "data"))


def data(name):
    return os.path.join(DATA, name)


def cli(*args):
    return subprocess.run([CLI, *map(str, args)], capture_output=True, text=True, check=False)


def cli_json(*args):
    result = cli(*args, "--json")
    assert result.returncode == 0, result.stderr
    return json.loads(result.stdout)


def cli_csv(*args):
    """The header and the rows of a sweep's CSV on standard output."""
    result = cli(*args, "--out", "-")
    assert result.returncode == 0, result.stderr
    header, *rows = list(csv.reader(io.StringIO(result.stdout)))
    return header, rows


def same_number(ours, text_or_number):
    """JSON and the CSV write numbers in shortest round-trip form, and non-finite ones as text:
    float() of either gives back the very double, so equality is exact (NaN matching NaN)."""
    theirs = float(text_or_number)
    return ours == theirs or (math.isnan(ours) and math.isnan(theirs))


def assert_same(ours, theirs, where="result"):
    """The module's value against the CLI's JSON: keys in the same order, numpy arrays as lists,
    floats exactly."""
    if isinstance(ours, dict):
        assert isinstance(theirs, dict), where
        assert list(ours) == list(theirs), where
        for key in ours:
            assert_same(ours[key], theirs[key], f"{where}[{key!r}]")
    elif isinstance(ours, (list, numpy.ndarray)):
        assert isinstance(theirs, list) and len(ours) == len(theirs), where
        for i, (a, b) in enumerate(zip(ours, theirs)):
            assert_same(a.item() if isinstance(a, numpy.generic) else a, b, f"{where}[{i}]")
    elif isinstance(ours, float):
        assert same_number(ours, theirs), f"{where}: {ours!r} != {theirs!r}"
    else:
        assert type(ours) is type(theirs) and ours == theirs, f"{where}: {ours!r} != {theirs!r}"


@pytest.fixture(scope="session")
def quobel():
    import quobel as module
    return module


@pytest.fixture
def three_maps(quobel):
    return quobel.load(data("three_maps.txt"))
