#!/usr/bin/env python3
"""Tests of quobel-cli as a user runs it: python3 cli_test.py QUOBEL_CLI CASE."""
import csv
import io
import json
import math
import os
import random
import shutil
import subprocess
import sys
import tempfile
from decimal import Decimal
from fractions import Fraction

CLI = os.path.abspath(sys.argv[1])
CRLF = "\r\n"

# One map of Arrow-like shares whose R row (0.5, 0.5) renormalises exactly for R(1,1) = 0.25,
# 0.5 and 0.75: the other share becomes 0.75, 0.5 and 0.25.
ONE_MAP = ["1", "2", ".5", ".5", ".4", ".6", ".6", ".4", "1"]
TWO_MAPS = ["2", "2", ".6", ".4", ".3", ".7", ".5", ".5", ".5", ".5", ".4", ".6", ".2", ".8",
            ".5", ".5"]


def parameter_file(folder, name, values):
    path = os.path.join(folder, name)
    with open(path, "w", newline="") as f:
        f.write(CRLF.join(values) + CRLF)
    return path


def cli(*args, cwd=None):
    return subprocess.run([CLI, *args], capture_output=True, text=True, cwd=cwd, timeout=120)


def read(path):
    with open(path, "rb") as f:
        return f.read()


def settings_file(csv_name):
    """The settings file beside a sweep's CSV."""
    return csv_name[:-4] + ".json" if csv_name.endswith(".csv") else csv_name + ".json"


def same_files(csv_name, expected_csv_name):
    """Whether a sweep's CSV and its settings file hold the bytes of the expected ones."""
    return all(read(a) == read(b) for a, b in ((csv_name, expected_csv_name),
                                               (settings_file(csv_name),
                                                settings_file(expected_csv_name))))


failures = []


def check(condition, what):
    if not condition:
        failures.append(what)
        print("FAILED:", what)


def case_json(folder):
    """analyse --json and run --json parse with a JSON parser and hold the documented keys."""
    path = parameter_file(folder, "two.txt", TWO_MAPS)
    analysed = cli("analyse", path, "--json")
    check(analysed.returncode == 0, "analyse status")
    data = json.loads(analysed.stdout)
    for key in ("lambda_0", "lambda_1", "verdict", "flags", "kelly", "maps"):
        check(key in data, "analyse key " + key)
    # By hand: slopes at 0 are .6*.5/.4 + .4*.5/.6 and .3*.5/.2 + .7*.5/.8, at 1 .96 and 1.24.
    lambda_0 = 0.5 * math.log(0.75 + 0.2 / 0.6) + 0.5 * math.log(0.75 + 0.4375)
    lambda_1 = 0.5 * math.log(0.96) + 0.5 * math.log(1.24)
    check(abs(data["lambda_0"] - lambda_0) < 1e-15 and abs(data["lambda_1"] - lambda_1) < 1e-15,
          "exponents by hand")
    check(data["verdict"] == "both survive", "verdict")
    check([m["map"] for m in data["maps"]] == [1, 2], "maps")
    check(set(data["maps"][0]) >= {"map", "chance", "slope_at_0", "slope_at_1"}, "map keys")
    ran = cli("run", path, "--steps", "2000", "--burn-in", "100", "--bins", "10", "--json")
    check(ran.returncode == 0, "run status")
    run = json.loads(ran.stdout)
    for key in ("end", "steps", "recorded", "histogram", "log_odds_histogram", "mean_r",
                "mean_r_stderr", "lyapunov", "lyapunov_stderr", "draws", "last", "absorbed",
                "first_within"):
        check(key in run, "run key " + key)
    check(run["end"] == "finished" and run["steps"] == 2000 and run["recorded"] == 1900, "counts")
    check(sum(run["histogram"]) == 1900 and len(run["histogram"]) == 10, "histogram")
    check(sum(run["draws"]) == 2000, "draws")
    # Arrow securities whose maps multiply the odds by 2 and 1/2: every point's log-odds is a
    # whole multiple of ln 2, so each occupied bin must be centred on one.
    lattice = parameter_file(folder, "lattice.txt", ["2", "2", "1", "0", "0", "1", ".8", ".2", ".6",
                                                     ".4", ".4", ".6", ".2", ".8", ".5", ".5"])
    ran = cli("run", lattice, "--steps", "20000", "--burn-in", "0", "--json")
    odds = json.loads(ran.stdout)["log_odds_histogram"]
    centres = [odds["low"] + (i + 0.5) * odds["width"]
               for i, count in enumerate(odds["counts"]) if count > 0]
    check(len(centres) > 1 and all(abs(c / math.log(2) - round(c / math.log(2))) < 1e-9
                                   for c in centres), "log-odds bins centred on the lattice")
    # An investor who takes over: absorbed at a boundary with its step.
    takeover = parameter_file(folder, "take.txt",
                              ["1", "2", ".1", ".9", ".4", ".6", ".6", ".4", "1"])
    run = json.loads(cli("run", takeover, "--steps", "100000", "--json").stdout)
    check(run["absorbed"] is None or run["absorbed"]["boundary"] in (0, 1), "absorbed")
    check(len(run["first_within"]) == 4, "first_within")


# Stock 1 pays everything and investor 1 holds none of it: the slope at 0 is 0 and at 1 infinite.
ZERO_AND_INFINITE_SLOPE = ["1", "2", "1", "0", "0", "1", ".5", ".5", "1"]
# The negative payoff share R(1,1) = -1: the slope at 0 is negative, and r leaves [0, 1].
NEGATIVE_SHARES = ["2", "2", "-1", "2", ".5", ".5", ".9", ".1", ".5", ".5", ".1", ".9", ".5", ".5",
                   ".5", ".5"]


def case_non_finite_json(folder):
    """+inf, -inf and NaN survive a round trip through a JSON parser; text spells NaN one way."""
    extremes = parameter_file(folder, "extremes.txt", ZERO_AND_INFINITE_SLOPE)
    negative = parameter_file(folder, "negative.txt", NEGATIVE_SHARES)
    lambdas = []
    for path in (extremes, negative):
        result = cli("analyse", path, "--json")
        check(result.returncode == 0, "analyse " + result.stderr)
        data = json.loads(result.stdout)
        lambdas += [data["lambda_0"], data["lambda_1"]]
    check(lambdas[:3] == ["-inf", "inf", "nan"], "non-finite exponents as strings: %r" % lambdas)
    back = [float(v) for v in lambdas[:3]]
    check(back[0] == -math.inf and back[1] == math.inf and math.isnan(back[2]), "float() back")
    check(isinstance(lambdas[3], float) and math.isfinite(lambdas[3]), "finite stays a number")
    # The same numbers in a run's JSON: the Lyapunov exponent of points outside [0, 1] is NaN.
    ran = cli("run", negative, "--steps", "1000", "--burn-in", "0", "--json")
    run = json.loads(ran.stdout)
    check(run["lyapunov"] == "nan" and run["lambda_0"] == "nan", "run: nan as a string")
    check(isinstance(run["mean_r"], float), "run: finite as a number")
    # JSON text only: no bare non-finite token a strict parser would refuse.
    for text in (ran.stdout, cli("analyse", extremes, "--json").stdout):
        json.loads(text, parse_constant=lambda token: failures.append("bare " + token))
    text = cli("analyse", negative).stdout + cli("run", negative, "--steps", "100", "--burn-in",
                                                 "0").stdout
    check("Lambda_0: nan\n" in text and "-nan" not in text, "text spells NaN 'nan'")
    out = os.path.join(folder, "nan.csv")
    status = cli("sweep", negative, "--vary", "R(2,1)=0.2:0.8:3", "--steps", "0", "--out", out)
    check(status.returncode == 0, "sweep " + status.stderr)
    rows = read(out).decode().splitlines()[1:]
    check(len(rows) == 3 and all(r.split(",")[1] == "nan" for r in rows) and
          b"-nan" not in read(out), "CSV spells NaN 'nan'")


def case_edges(folder):
    """Points outside [0, 1] and the flags that explain them; grid values without overflow."""
    negative = parameter_file(folder, "negative.txt", NEGATIVE_SHARES)
    args = ["run", negative, "--steps", "1000", "--burn-in", "0"]
    text = cli(*args).stdout
    run = json.loads(cli(*args, "--json").stdout)
    check(run["below"] > 0 and "below 0: %d\n" % run["below"] in text, "below shown: " + text)
    check(run["above"] > 0 or "above 1:" not in text, "above only when not 0")
    check(run["below"] + run["above"] + sum(run["histogram"]) == run["recorded"], "every point")
    flag = "flag: R(1,1) = -1 is negative"
    check(flag in text and any(f.startswith(flag[6:]) for f in run["flags"]), "flag shown")
    # Inside [0, 1] neither line appears, and no flag on a run long enough for its error bars.
    plain = parameter_file(folder, "two.txt", TWO_MAPS)
    text = cli("run", plain, "--steps", "30000", "--burn-in", "0").stdout
    check("below 0" not in text and "above 1" not in text and "flag:" not in text, "plain run")

    one = parameter_file(folder, "one.txt", ONE_MAP)
    out = os.path.join(folder, "axis.csv")
    for vary, expected in (("la1(1,1)=-1e308:1e308:3", ["-1e+308", "0", "1e+308"]),
                           ("la1(1,1)=0.1:0.9:5", ["0.1", "0.3", "0.5", "0.7", "0.9"])):
        status = cli("sweep", one, "--vary", vary, "--steps", "0", "--out", out)
        check(status.returncode == 0, vary + ": " + status.stderr)
        values = [row.split(",")[0] for row in read(out).decode().splitlines()[1:]]
        check(values == expected, "%s gives %r" % (vary, values))
    # Ranges of every kind against exact fractions: each value is the double nearest to its
    # decimal grid point, FROM and TO read as the shortest decimals of their doubles.
    generator = random.Random(5)
    ends = ["0", "0.1", "-0.7", "1e-300", "-5e-324", "1.7976931348623157e308", "-1e308",
            "123456789.123456789", "0.000123", "3.3333333333333335", "7e22", "-2.5e-17"]
    for case in range(24):
        low, high = generator.choice(ends), generator.choice(ends)
        count = generator.choice([2, 3, 4, 7, 10, 999])
        status = cli("sweep", one, "--vary", "la1(1,1)=%s:%s:%d" % (low, high, count), "--steps",
                     "0", "--out", out)
        check(status.returncode == 0, "%s:%s: %s" % (low, high, status.stderr))
        a, b = (Fraction(Decimal(repr(float(end)))) for end in (low, high))
        rows = read(out).decode().splitlines()[1:]
        exact = [float(a + (b - a) * i / (count - 1)) for i in range(count)]
        check([float(row.split(",")[0]) for row in rows] == exact,
              "%s:%s:%d against exact fractions" % (low, high, count))


def case_run_equals_row(folder):
    """A sweep row holds the exponents `analyse` gives on the renormalised file, and point 0 the
    figures `run` gives with the sweep's seed: each point's run is the chain of its index."""
    path = parameter_file(folder, "one.txt", ONE_MAP)
    out = os.path.join(folder, "line.csv")
    status = cli("sweep", path, "--vary", "R(1,1)=0.25:0.75:3", "--steps", "5000",
                 "--burn-in", "50", "--bins", "4", "--seed", "7", "--out", out)
    check(status.returncode == 0, "sweep status " + status.stderr)
    lines = read(out).decode().splitlines()
    header = lines[0].split(",")
    check(header[:5] == ['"R(1', '1)"', "lambda_0", "lambda_1", "verdict"] and
          header[-1] == "flags", "header")
    for index, (first, second) in enumerate([(".25", ".75"), (".5", ".5"), (".75", ".25")]):
        point = parameter_file(folder, "point%d.txt" % index,
                               ["1", "2", first, second] + ONE_MAP[4:])
        analysed = json.loads(cli("analyse", point, "--json").stdout)
        row = lines[1 + index].split(",")
        check(float(row[0]) == float(first), "value %d" % index)
        check(float(row[1]) == analysed["lambda_0"] and float(row[2]) == analysed["lambda_1"],
              "exponents %d" % index)
        check(row[3] == analysed["verdict"], "verdict %d" % index)
        if index > 0:
            check(len(row) == 13 and all(math.isfinite(float(v)) for v in row[4:12]),
                  "run figures %d" % index)
            continue
        run = json.loads(cli("run", point, "--steps", "5000", "--burn-in", "50", "--bins", "4",
                             "--seed", "7", "--json").stdout)
        expected = [run["mean_r"], run["mean_r_stderr"], run["lyapunov"], run["lyapunov_stderr"]]
        check([float(v) for v in row[4:8]] == expected, "run figures %d" % index)
        density = [count * 4 / run["recorded"] for count in run["histogram"]]
        check(all(abs(float(v) - d) < 1e-12 for v, d in zip(row[8:12], density)) and
              len(row) == 13, "density %d" % index)
        check(row[12] == "; ".join(run["flags"]), "the run's flags %d" % index)


def sweep_rows(path, *args):
    """The header and rows of a sweep of `path` to standard output, read as CSV."""
    result = cli("sweep", path, *args, "--out", "-")
    check(result.returncode == 0, "sweep " + result.stderr)
    return list(csv.reader(io.StringIO(result.stdout)))


def analysed(folder, name, values):
    return json.loads(cli("analyse", parameter_file(folder, name, values), "--json").stdout)


# la1(1,1) = 1 and la1(1,2) = 0: la1(1,1..2) cannot take any other value of la1(1,1), since the
# rest has no component to be shared over.
UNRENORMALISABLE = ["2", "2", ".5", ".5", ".3", ".7", "1", "0", ".4", ".6", ".5", ".5", ".5", ".5",
                    ".5", ".5"]


def case_sweep_flags(folder):
    """Points without a renormalisation say why, the file's own point is the file, and every
    point's flags are the last column."""
    path = parameter_file(folder, "edge.txt", UNRENORMALISABLE)
    rows = sweep_rows(path, "--vary", "la1(1,1)=0:1:3", "--steps", "0")
    check(rows[0] == ["la1(1,1)", "lambda_0", "lambda_1", "verdict", "flags"],
          "header %r" % rows[0])
    check([row[0] for row in rows[1:]] == ["0", "0.5", "1"], "values")
    for row, value in zip(rows[1:3], ("0", "0.5")):
        check(row[1:4] == ["nan", "nan", "not defined"], "not defined at %s: %r" % (value, row))
        check(row[4].startswith("la1(1,1..2) cannot be renormalised with la1(1,1) = %s: " % value)
              and "other components add up to 0" in row[4], "the flag names why: " + row[4])
    # The file's own value is the file itself, as analyse gives it. By hand, map 1's slope at 0
    # is .5 * 1/.5 + .5 * 0/.5 = 1 and map 2's .3 * .4/.5 + .7 * .6/.5 = 1.08; at 1 map 1's is
    # infinite (la1(1,2) = 0).
    own = rows[3]
    data = analysed(folder, "edge.txt", UNRENORMALISABLE)
    check(abs(float(own[1]) - 0.5 * math.log(1.08)) < 1e-15 and own[2] == "inf" and
          own[3] == "both survive", "the file's own point: %r" % own)
    check(float(own[1]) == data["lambda_0"] and own[2] == data["lambda_1"] and
          own[4] == "; ".join(data["flags"]) and "infinite slope at r = 1" in own[4],
          "the file's own point is analyse's: %r" % own)

    # Rows that do not add up to 1 make the file itself not defined, with the flag analyse gives;
    # the other points are renormalised and so have no flag.
    unscaled = ["1", "2", ".5", ".6", ".4", ".6", ".6", ".4", "1"]
    path = parameter_file(folder, "unscaled.txt", unscaled)
    rows = sweep_rows(path, "--vary", "R(1,1)=0.25:0.75:3", "--steps", "0")
    data = analysed(folder, "unscaled.txt", unscaled)
    check([float(v) for v in rows[2][1:3]] == [data["lambda_0"], data["lambda_1"]] and
          rows[2][3:] == ["not defined", "; ".join(data["flags"])] and
          "add up to 1.1" in rows[2][4], "unscaled file's own point: %r" % rows[2])
    for row, shares in ((rows[1], [".25", ".75"]), (rows[3], [".75", ".25"])):
        point = analysed(folder, "point.txt", ["1", "2", *shares, *unscaled[4:]])
        check(float(row[1]) == point["lambda_0"] and row[3] == point["verdict"] and row[4] == ""
              and point["flags"] == [], "renormalised point %s: %r" % (row[0], row))

    # A payoff nobody holds flags every point, through threads, shards and their merge.
    nobody = parameter_file(folder, "nobody.txt", ["1", "3", ".4", ".4", ".2", ".5", ".5", "0",
                                                   ".5", ".5", "0", "1"])
    args = ["--vary", "R(1,1)=0.1:0.5:5", "--steps", "1000", "--burn-in", "10", "--bins", "3"]
    whole = os.path.join(folder, "whole.csv")
    check(cli("sweep", nobody, *args, "--threads", "2", "--out", whole).returncode == 0, "whole")
    rows = list(csv.reader(io.StringIO(read(whole).decode())))
    check(rows[0][-1] == "flags" and all(len(row) == len(rows[0]) for row in rows), "columns")
    check(all(row[3] == "not defined" and
              "Neither investor holds stock 3 in map 1" in row[-1] for row in rows[1:]),
          "a payoff nobody holds is flagged at every point")
    names = shard_files(folder, nobody, args, 3, 1)
    merged = os.path.join(folder, "merged.csv")
    check(cli("merge", merged, *names).returncode == 0 and same_files(merged, whole),
          "merged shards with flags")


def expect_refusal(result, status, out, what):
    check(result.returncode == status, "%s: status %d, not %d" % (what, result.returncode, status))
    message = result.stderr
    check(message.startswith("quobel-cli: ") and message.count("\n") == 1,
          "%s: one line on stderr, not %r" % (what, message))
    check(not os.path.exists(out) and not os.path.exists(settings_file(out)),
          what + ": no output file")
    check(not [n for n in os.listdir(os.path.dirname(out)) if n.startswith(".")],
          what + ": no temporary file left")


def case_bad_arguments(folder):
    """Wrong command lines: status 2, one line on stderr, no output file."""
    path = parameter_file(folder, "one.txt", ONE_MAP)
    out = os.path.join(folder, "out.csv")
    for args in ([], ["frobnicate"], ["analyse"], ["analyse", path, "--steps", "5"],
                 ["run", path, "--steps", "-1"], ["run", path, "--steps"],
                 ["run", path, "--start", "1.5"], ["run", path, "--bins", "0"],
                 ["run", path, "--seed", "x"], ["run", path, "--chains", "0"],
                 ["run", path, "--chains", "257"], ["run", path, "--chains", "2.5"],
                 ["sweep", path, "--vary", "R(1,1)=0:1:3", "--chains", "2", "--out", out],
                 ["run", path, "--steps", "5000"], ["run", path, "--steps", "10", "--burn-in", "10"],
                 ["sweep", path, "--vary", "R(1,1)=0:1:3", "--steps", "5000", "--out", out],
                 ["sweep", path, "--out", out], ["sweep", path, "--vary", "R(1,1)=0:1:3"],
                 ["sweep", path, "--vary", "R(1,1)=0:1", "--out", out],
                 ["sweep", path, "--vary", "R(1,1)=0:1:3", "--vary", "R(1,1)=0:1:3", "--out", out],
                 ["sweep", path, "--vary", "R(1,1)=0:1:3", "--vary", "R(1,2)=0:1:3",
                  "--vary", "la1(1,1)=0:1:3", "--out", out],
                 ["sweep", path, "--vary", "R(2,1)=0:1:3", "--out", out],
                 ["sweep", path, "--vary", "R(1,3)=0:1:3", "--out", out],
                 ["sweep", path, "--vary", "R(1,1)=0:1:3", "--shard", "4/3", "--out", out],
                 ["sweep", path, "--vary", "R(1,1)=0:1:3", "--shard", "0/3", "--out", out],
                 ["sweep", path, "--vary", "R(1,1)=0:1:3", "--threads", "0", "--out", out],
                 ["merge", out]):
        expect_refusal(cli(*args), 2, out, " ".join(args) or "no arguments")
    check("for run" in cli("run", path, "--bogus").stderr, "the message names the command")
    check(cli("run", path, "--chains", "0").stderr ==
          'quobel-cli: --chains takes a whole number from 1 to 256, not "0".\n', "chains message")
    # A burn-in that leaves nothing to record says so; without steps a sweep needs no burn-in.
    check("A burn-in of 10000 steps leaves nothing to record in a run of 5000 steps" in
          cli("run", path, "--steps", "5000").stderr, "burn-in message")
    check(cli("sweep", path, "--vary", "R(1,1)=0:1:3", "--steps", "0", "--out", out).returncode
          == 0, "--steps 0 sweeps the exponents alone")


def case_bad_files(folder):
    """Refused files and failed writes: status 1, one line on stderr, no output file."""
    out = os.path.join(folder, "out.csv")
    broken = parameter_file(folder, "broken.txt", ["1", "2", ".5", "x"])
    missing = os.path.join(folder, "missing.txt")
    good = parameter_file(folder, "one.txt", ONE_MAP)
    vary = ["--vary", "R(1,1)=0:1:3", "--steps", "0"]
    for args in (["analyse", broken], ["run", missing], ["sweep", broken, *vary, "--out", out],
                 ["sweep", folder, *vary, "--out", out],
                 ["run", good, "--steps", "10", "--burn-in", "0", "--trajectory",
                  os.path.join(folder, "no", "t.csv")],
                 ["merge", out, broken], ["merge", out, missing]):
        expect_refusal(cli(*args), 1, out, " ".join(args))
    check(broken in cli("analyse", broken).stderr, "the message names the file")
    unwritable = os.path.join(folder, "no", "out.csv")
    result = cli("sweep", good, *vary, "--out", unwritable)
    check(result.returncode == 1 and result.stderr.count("\n") == 1, "failed write")
    # A refused run writes nothing over an earlier output.
    with open(out, "w") as f:
        f.write("earlier\n")
    cli("sweep", broken, *vary, "--out", out)
    check(read(out) == b"earlier\n", "earlier output kept")


def shard_files(folder, path, args, shards, threads):
    names = []
    for i in range(1, shards + 1):
        name = os.path.join(folder, "shard%d.csv" % i)
        result = cli("sweep", path, *args, "--shard", "%d/%d" % (i, shards),
                     "--threads", str(threads), "--out", name)
        check(result.returncode == 0, "shard %d: %s" % (i, result.stderr))
        names.append(name)
    return names


def case_threads_and_shards(folder):
    """Threads and shards give the same bytes; merge refuses gaps, overlaps and other settings."""
    path = parameter_file(folder, "two.txt", TWO_MAPS)
    args = ["--vary", "la1(1,1)=0.1:0.9:4", "--vary", "prob(1)=0.2:0.8:3", "--steps", "2000",
            "--burn-in", "10"]
    whole = os.path.join(folder, "whole.csv")
    check(cli("sweep", path, *args, "--threads", "1", "--out", whole).returncode == 0, "whole")
    expected = read(whole)
    check(expected.count(b"\n") == 1 + 12, "rows")
    again = os.path.join(folder, "again.csv")
    cli("sweep", path, *args, "--threads", "3", "--out", again)
    check(same_files(again, whole), "3 threads")
    names = shard_files(folder, path, args, 5, 2)
    merged = os.path.join(folder, "merged.csv")
    result = cli("merge", merged, *reversed(names))
    check(result.returncode == 0 and same_files(merged, whole), "merged shards " + result.stderr)
    out = os.path.join(folder, "refused.csv")
    for shard_set in (names[1:], names + [names[2]]):
        expect_refusal(cli("merge", out, *shard_set), 1, out, "merge %d shards" % len(shard_set))
    other = os.path.join(folder, "other.csv")
    cli("sweep", path, *args, "--seed", "2", "--shard", "5/5", "--out", other)
    expect_refusal(cli("merge", out, *names[:4], other), 1, out, "merge other settings")
    # The settings files decide: the last shard's rows beside another seed's settings are refused.
    swapped = os.path.join(folder, "swapped.csv")
    shutil.copyfile(names[4], swapped)
    shutil.copyfile(settings_file(other), settings_file(swapped))
    result = cli("merge", out, *names[:4], swapped)
    expect_refusal(result, 1, out, "merge a shard beside other settings")
    check("its settings differ" in result.stderr, "other settings: " + result.stderr)
    # A shard without its settings file is refused, saying which file is missing.
    os.remove(settings_file(swapped))
    shutil.copyfile(names[4], swapped)
    result = cli("merge", out, *names[:4], swapped)
    expect_refusal(result, 1, out, "merge a shard without settings")
    check('"%s" has no settings file "%s" beside it.' % (swapped, settings_file(swapped))
          in result.stderr, "no settings file: " + result.stderr)


def case_gnu_parallel(folder):
    """One sweep as 3 shards through GNU parallel, merged, equals the unsharded output."""
    path = parameter_file(folder, "one.txt", ONE_MAP)
    args = ["--vary", "la2(1,1)=0.2:0.8:7", "--steps", "3000", "--burn-in", "100", "--bins", "8"]
    whole = os.path.join(folder, "whole.csv")
    check(cli("sweep", path, *args, "--out", whole).returncode == 0, "whole")
    parallel = shutil.which("parallel")
    check(parallel is not None, "GNU parallel is installed (scripts/install-deps.sh)")
    if parallel is None:
        return
    result = subprocess.run(
        [parallel, "--will-cite", "--quote", "--halt", "now,fail=1", CLI, "sweep", path, *args,
         "--shard", "{}/3", "--threads", "1", "--out", os.path.join(folder, "part{}.csv"),
         ":::", "1", "2", "3"], capture_output=True, text=True, timeout=300)
    check(result.returncode == 0, "parallel: " + result.stderr)
    merged = os.path.join(folder, "merged.csv")
    parts = [os.path.join(folder, "part%d.csv" % i) for i in (1, 2, 3)]
    check(cli("merge", merged, *parts).returncode == 0, "merge")
    check(same_files(merged, whole), "merged bytes")


def case_output_streams(folder):
    """- is standard output; streams are appended to as the shell opened them; an empty name is a
    mistake of the command line."""
    path = parameter_file(folder, "one.txt", ONE_MAP)
    vary = ["--vary", "R(1,1)=0.25:0.75:3", "--steps", "0"]
    csv = os.path.join(folder, "line.csv")
    check(cli("sweep", path, *vary, "--out", csv).returncode == 0, "sweep to a file")
    expected = read(csv)
    result = subprocess.run([CLI, "sweep", path, *vary, "--out", "-"], capture_output=True,
                            timeout=120, cwd=folder)
    check(result.returncode == 0 and result.stdout == expected, "sweep --out - " +
          result.stderr.decode())
    # A stream takes the rows alone: no settings file beside it.
    check(not [n for n in os.listdir(folder) if n.endswith(".json") and n != "line.json"],
          "no settings file for standard output")
    result = subprocess.run([CLI, "merge", "-", csv], capture_output=True, timeout=120)
    check(result.returncode == 0 and result.stdout == expected, "merge - " + result.stderr.decode())
    trajectory = os.path.join(folder, "t.csv")
    ran = cli("run", path, "--steps", "50", "--burn-in", "0", "--json", "--trajectory", trajectory)
    ran_out = cli("run", path, "--steps", "50", "--burn-in", "0", "--json", "--trajectory", "-")
    check(ran_out.returncode == 0 and ran_out.stdout == read(trajectory).decode() + ran.stdout,
          "run --trajectory - writes the trajectory, then the report")
    # The shell's >> and 2>> open the file to append: what it held stays.
    for name, stream in (("/dev/stdout", "stdout"), ("-", "stdout"), ("/dev/stderr", "stderr"),
                         ("/dev/fd/1", "stdout")):
        log = os.path.join(folder, "log.txt")
        with open(log, "w") as f:
            f.write("earlier line\n")
        with open(log, "a") as appended:
            status = subprocess.run([CLI, "sweep", path, *vary, "--out", name], timeout=120,
                                    **{stream: appended})
        check(status.returncode == 0 and read(log) == b"earlier line\n" + expected,
              "appending through " + name)
    log = os.path.join(folder, "log2.txt")
    with open(log, "w") as f:
        f.write("earlier line\n")
    with open(log, "a") as appended:
        subprocess.run([CLI, "run", path, "--steps", "50", "--burn-in", "0", "--trajectory",
                        "/dev/stderr"],
                       stderr=appended, stdout=subprocess.DEVNULL, timeout=120)
    check(read(log) == b"earlier line\n" + read(trajectory), "--trajectory /dev/stderr appends")
    out = os.path.join(folder, "empty", "out.csv")
    os.mkdir(os.path.dirname(out))
    for args in (["sweep", path, *vary, "--out", ""], ["sweep", path, *vary, "--out="],
                 ["run", path, "--trajectory", ""], ["merge", "", csv]):
        result = cli(*args, cwd=os.path.dirname(out))
        expect_refusal(result, 2, out, " ".join(args))
        check("standard output" in result.stderr and not os.listdir(os.path.dirname(out)),
              "the empty name's message says what to give: " + result.stderr)
    # A standard output that is closed or open for reading only is refused with a reason.
    with open(csv, "rb") as readonly:
        result = subprocess.run([CLI, "sweep", path, *vary, "--out", "-"], stdout=readonly,
                                stderr=subprocess.PIPE, text=True, timeout=120)
    check(result.returncode == 1 and '"-"' in result.stderr and "reading only" in result.stderr,
          "standard output open for reading: " + result.stderr)


def fds_in(pid, folder):
    """The files in `folder` that the process has open."""
    names = []
    try:
        for fd in os.listdir("/proc/%d/fd" % pid):
            target = os.readlink("/proc/%d/fd/%s" % (pid, fd))
            if target.startswith(folder + "/"):
                names.append(target)
    except OSError:
        pass
    return names


def case_interrupted_sweep(folder):
    """SIGINT, SIGTERM and SIGKILL mid-write leave the folder as it was, the old output too."""
    import signal
    import time
    path = parameter_file(folder, "one.txt", ONE_MAP)
    out = os.path.join(folder, "new.csv")
    for signal_number in (signal.SIGINT, signal.SIGTERM, signal.SIGKILL):
        if signal_number != signal.SIGINT:
            with open(out, "w") as f:
                f.write("earlier\n")
        before = sorted(os.listdir(folder))
        process = subprocess.Popen([CLI, "sweep", path, "--vary", "R(1,1)=0.05:0.95:100",
                                    "--steps", "2000000", "--threads", "1", "--out", out],
                                   stderr=subprocess.DEVNULL)
        # Mid-write: the new text is open in the folder.
        deadline = time.monotonic() + 20
        writing = []
        while not writing and time.monotonic() < deadline and process.poll() is None:
            writing = [n for n in fds_in(process.pid, folder) if n != path]
            time.sleep(0.01)
        what = signal.Signals(signal_number).name
        check(writing, what + ": the sweep was writing when stopped")
        process.send_signal(signal_number)
        status = process.wait(timeout=60)
        named = [n for n in writing if os.path.basename(n).startswith(".")]
        if signal_number == signal.SIGKILL and named:
            # No program can remove its named temporary once killed; only an unnamed one goes.
            print("SKIPPED: SIGKILL on a file system that makes no unnamed files")
            for litter in named:
                os.remove(litter)
            continue
        check(status == -signal_number, "%s: ended by the signal, not %d" % (what, status))
        check(sorted(os.listdir(folder)) == before,
              "%s: the folder holds %s, not %s" % (what, sorted(os.listdir(folder)), before))
        if signal_number != signal.SIGINT:
            check(read(out) == b"earlier\n", what + ": the old output is unchanged")


def peak_memory(args):
    """The status and the peak resident memory, in bytes, of quobel-cli run with args."""
    process = subprocess.Popen([CLI, *args], stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    _, status, usage = os.wait4(process.pid, 0)
    process.returncode = os.waitstatus_to_exitcode(status)
    process.stderr.close()
    return process.returncode, usage.ru_maxrss * 1024


def synthetic_settings(csv_name, first, last, size):
    """A settings file beside `csv_name` as a sweep writes it, for the points [first, last)."""
    with open(settings_file(csv_name), "w") as f:
        f.write('{\n  "program": "quobel-cli sweep",\n  "version": "0",\n'
                '  "points": {"first": %d, "last": %d, "of": %d}\n}\n' % (first, last, size))


def case_merge_memory(folder):
    """Merge refuses a large file that is no sweep, and joins large shards, in bounded memory."""
    import hashlib
    size = 64 << 20
    # What the program takes to start, as measured the same way (the parent's pages count too).
    _, baseline = peak_memory(["--version"])
    bound = baseline + size // 4
    out = os.path.join(folder, "out.csv")
    junk = os.path.join(folder, "junk.bin")
    with open(junk, "wb") as f:
        f.write(b"\x00\x01" * 4096)
        f.truncate(size)
    header = b'"x",y,flags\n'
    lines = os.path.join(folder, "lines.csv")
    with open(lines, "wb") as f:
        f.write(header)
        f.truncate(size)  # a last row of 64 MB of zero bytes
    for name in (junk, lines):
        synthetic_settings(name, 0, 3, 3)
        status, peak = peak_memory(["merge", out, name])
        check(status == 1 and not os.path.exists(out), name + ": refused")
        check(peak < bound, "%s: refused in %d MB, %d MB at start" % (name, peak >> 20,
                                                                      baseline >> 20))
    # Two good shards of a million rows each, synthetic: merge checks the settings files agree.
    rows = 1 << 20
    expected = hashlib.sha256()
    expected.update(header)
    shards = []
    for index in (1, 2):
        shard = os.path.join(folder, "shard%d.csv" % index)
        synthetic_settings(shard, (index - 1) * rows, index * rows, 2 * rows)
        block = b"%d,0.25,0.75,both survive,\n" % index * 1024
        with open(shard, "wb") as f:
            f.write(header)
            for _ in range(rows // 1024):
                f.write(block)
                expected.update(block)
        shards.append(shard)
    status, peak = peak_memory(["merge", out, *reversed(shards)])
    check(status == 0, "large shards merged")
    merged = hashlib.sha256()
    with open(out, "rb") as f:
        for piece in iter(lambda: f.read(1 << 20), b""):
            merged.update(piece)
    check(merged.digest() == expected.digest(), "large shards merged in grid order")
    check(json.loads(read(settings_file(out)))["points"] == {"first": 0, "last": 2 * rows,
                                                              "of": 2 * rows},
          "the merged settings file holds the whole grid")
    check(peak < bound, "large shards merged in %d MB, %d MB at start" % (peak >> 20,
                                                                          baseline >> 20))


# Two maps that move r a little up or down: r remembers where it was for hundreds of steps.
SLOWLY_MIXING = ["2", "2", ".9", ".1", ".1", ".9", ".55", ".45", ".55", ".45", ".45", ".55", ".45",
                 ".55", ".5", ".5"]
# Investor 1 holds only stock 1, investor 2 only stock 2: every step forgets r.
INDEPENDENT = ["2", "2", ".25", ".75", ".9", ".1", "1", "0", "1", "0", "0", "1", "0", "1", ".3",
               ".7"]


def case_doubtful_figures(folder):
    """Error bars too small for the run and absorbed runs say so, in text and JSON alike."""
    warning = "error bars may be too small: run longer"
    for values, flagged in ((SLOWLY_MIXING, True), (INDEPENDENT, False)):
        path = parameter_file(folder, "doubt.txt", values)
        for seed in ("1", "2", "3"):
            args = ["run", path, "--steps", "30000", "--burn-in", "1000", "--seed", seed]
            run = json.loads(cli(*args, "--json").stdout)
            text = cli(*args).stdout
            what = "%s seed %s" % ("slow" if flagged else "independent", seed)
            check(run["errors_may_be_too_small"] is flagged, what + ": JSON key")
            check((warning in run["flags"]) is flagged, what + ": JSON flags")
            check(("flag: %s\n" % warning in text) is flagged, what + ": text")
    # A sweep row carries the run's flags: at the file's own value, point 0, the point is the
    # file itself, and its run, chain 0 of the seed, warns in the sweep exactly as `run` does.
    path = parameter_file(folder, "doubt.txt", SLOWLY_MIXING)
    out = os.path.join(folder, "doubt.csv")
    args = ["--steps", "30000", "--burn-in", "1000"]
    cli("sweep", path, "--vary", "prob(1)=0.5:0.9:2", "--seed", "5", "--out", out, *args)
    own = read(out).decode().splitlines()[1]
    run = json.loads(cli("run", path, "--seed", "5", "--json", *args).stdout)
    check(own.startswith("0.5,") and own.endswith("," + "; ".join(run["flags"])) and
          own.endswith(warning), "the sweep's row warns as the run does: " + own)
    # Investor 1 takes over: from the step its distance underflows r is 1 itself, an average of
    # 1 with error 0 that must not read as certainty.
    takeover = parameter_file(folder, "take.txt",
                              ["1", "2", ".1", ".9", ".4", ".6", ".6", ".4", "1"])
    args = ["run", takeover, "--steps", "20000", "--burn-in", "10000"]
    run = json.loads(cli(*args, "--json").stdout)
    text = cli(*args).stdout
    check(run["absorbed"]["boundary"] == 1 and run["mean_r"] == 1 and run["mean_r_stderr"] == 0,
          "absorbed within the burn-in")
    step = run["absorbed"]["step"]
    check("mean r: 1 +- 0 (absorbed: exactly 1 from step %d, where the distance underflowed; "
          "the error does not count that)\n" % step in text, "mean r of an absorbed run: " + text)
    check("absorbed: reached r = 1 to within the smallest double at step %d: from there r is 1 "
          "itself, and the orbit's exponent is then Lambda_1's\n" % step in text,
          "absorption explained: " + text)
    check(not run["errors_may_be_too_small"], "no error-bar flag at a boundary")
    # A sweep row of the same file, whose 0 error reads as certainty too, says the same.
    out = os.path.join(folder, "take.csv")
    cli("sweep", takeover, "--vary", "la1(1,1)=0.4:0.5:2", "--out", out, *args[2:])
    own = read(out).decode().splitlines()[1]
    check(own.startswith("0.4,") and own.endswith(
        "reached r = 1 to within the smallest double at step %d: from there r is 1 itself, and "
        "the orbit's exponent is then Lambda_1's\"" % step), "the sweep row says so: " + own)
    shorter = cli("run", takeover, "--steps", str(step - 1), "--burn-in", "0").stdout
    check("absorbed" not in shorter, "no absorption before the underflow")



def case_chains(folder):
    """`run --chains N` pools N chains of the seed: its counts and figures are those of the N
    points of a sweep whose values all are the file's own, point i being chain i; text and JSON
    show both errors; one chain is the run without --chains."""
    path = parameter_file(folder, "two.txt", TWO_MAPS)
    args = ["--steps", "6000", "--burn-in", "200", "--bins", "5", "--seed", "3"]
    chains = 6
    out = os.path.join(folder, "same.csv")
    status = cli("sweep", path, "--vary", "prob(1)=0.5:0.5:%d" % chains, *args, "--out", out)
    check(status.returncode == 0, "sweep status " + status.stderr)
    rows = [row.split(",") for row in read(out).decode().splitlines()[1:]]
    ran = cli("run", path, *args, "--chains", str(chains), "--json")
    check(ran.returncode == 0, "run status " + ran.stderr)
    run = json.loads(ran.stdout)
    recorded = 6000 - 200
    check(run["chains"] == chains and run["steps"] == chains * 6000 and
          run["recorded"] == chains * recorded and sum(run["draws"]) == chains * 6000,
          "pooled steps: %r" % {k: run[k] for k in ("chains", "steps", "recorded")})
    # How the figures pool is the engine's tests' matter; here, that the chains are the rows'.
    means = [float(row[4]) for row in rows]
    check(math.isclose(run["mean_r"], sum(means) / chains, rel_tol=1e-14), "pooled mean")
    mean = sum(means) / chains
    spread = math.sqrt(sum((m - mean) ** 2 for m in means) / (chains - 1) / chains)
    check(math.isclose(run["mean_r_chain_error"], spread, rel_tol=1e-12),
          "the chains' error %r against %r" % (run["mean_r_chain_error"], spread))
    check(isinstance(run["lyapunov_chain_error"], float) and run["absorbed_chains"] == [0, 0],
          "the exponent's error and no absorption")
    text = cli("run", path, *args, "--chains", str(chains)).stdout
    check("chains: %d\n" % chains in text and
          "mean r: %s +- " % repr(run["mean_r"]) in text and
          text.count(" (batch means), +- ") == 2 and text.count(" (between chains)") == 2,
          "text: " + text)
    # One chain: the run as it was, without the keys of several.
    single = cli("run", path, *args, "--json").stdout
    check(cli("run", path, *args, "--chains", "1", "--json").stdout == single and
          "chains" not in json.loads(single), "one chain is the plain run")
    check("chains" not in cli("run", path, *args).stdout, "one chain's text")
    first = json.loads(single)
    check([float(v) for v in rows[0][4:8]] == [first["mean_r"], first["mean_r_stderr"],
                                                 first["lyapunov"], first["lyapunov_stderr"]],
          "point 0 is chain 0")
    # The trajectory is chain 0's, the plain run's.
    one, many = os.path.join(folder, "one.csv"), os.path.join(folder, "many.csv")
    cli("run", path, *args, "--trajectory", one)
    cli("run", path, *args, "--chains", "3", "--trajectory", many)
    check(read(one) == read(many) and len(read(one)) > 0, "chain 0's trajectory")
    # Chains absorbed at r = 1: how many, and the first step.
    takeover = parameter_file(folder, "take.txt",
                              ["1", "2", ".1", ".9", ".4", ".6", ".6", ".4", "1"])
    run = json.loads(cli("run", takeover, "--steps", "3000", "--burn-in", "0", "--chains", "4",
                         "--json").stdout)
    check(run["absorbed_chains"] == [0, 4] and run["absorbed"]["boundary"] == 1,
          "absorbed chains %r" % run["absorbed_chains"])
    text = cli("run", takeover, "--steps", "3000", "--burn-in", "0", "--chains", "4").stdout
    check("absorbed: reached r = 1 in 4 of 4 chains to within the smallest double, the first at "
          "step %d:" % run["absorbed"]["step"] in text, "absorption text: " + text)


def case_pandas(folder):
    """A sweep's CSV is a plain table that pandas reads with no options; its settings file beside
    it is JSON holding every setting."""
    import pandas
    path = parameter_file(folder, "two.txt", TWO_MAPS)
    out = os.path.join(folder, "sweep.csv")
    args = ["--vary", "la1(1,1)=0.1:0.9:5", "--vary", "prob(1)=0.25:0.75:3", "--steps", "500",
            "--burn-in", "20", "--seed", "18446744073709551615", "--start", "0.25"]
    check(cli("sweep", path, *args, "--shard", "2/3", "--out", out).returncode == 0, "sweep")
    table = pandas.read_csv(out)
    rows = list(csv.reader(io.StringIO(read(out).decode())))
    check(list(table.columns) == rows[0] and rows[0][:4] == ["la1(1,1)", "prob(1)", "lambda_0",
                                                             "lambda_1"],
          "the header's columns: %r" % list(table.columns))
    check(table.shape == (5, len(rows[0])) and len(rows) == 6, "rows: %r" % (table.shape,))
    # pandas' own number parser reads about 16 significant digits, not the nearest double.
    check(all(math.isclose(value, float(row[column]), rel_tol=1e-12, abs_tol=1e-300)
              for column in (0, 1, 2, 3, 5, 6, 7, 8)
              for value, row in zip(table[rows[0][column]], rows[1:])) and
          list(table["verdict"]) == [row[4] for row in rows[1:]], "the values")

    settings = json.loads(read(os.path.join(folder, "sweep.json")))
    version = cli("--version").stdout.split()[-1]
    check(settings["program"] == "quobel-cli sweep" and settings["version"] == version,
          "program and version: %r" % settings)
    check(len(settings["parameters"]) == 16 and int(settings["parameters"], 16) >= 0,
          "the parameters' fingerprint")
    check(settings["vary"] == [{"name": "la1(1,1)", "from": 0.1, "to": 0.9, "count": 5},
                               {"name": "prob(1)", "from": 0.25, "to": 0.75, "count": 3}],
          "the axes: %r" % settings["vary"])
    check((settings["steps"], settings["burn_in"], settings["seed"], settings["start"],
           settings["bins"]) == (500, 20, (1 << 64) - 1, 0.25, 100), "the run's settings")
    check(settings["points"] == {"first": 5, "last": 10, "of": 15}, "the shard's points")
    # Other parameters give another fingerprint.
    other = parameter_file(folder, "other.txt", TWO_MAPS[:-1] + [".6"])
    other_out = os.path.join(folder, "other.csv")
    check(cli("sweep", other, *args, "--shard", "2/3", "--out", other_out).returncode == 0,
          "other sweep")
    check(json.loads(read(settings_file(other_out)))["parameters"] != settings["parameters"],
          "the fingerprint tells the parameters apart")


if __name__ == "__main__":
    case = globals()["case_" + sys.argv[2]]
    with tempfile.TemporaryDirectory() as folder:
        case(folder)
    sys.exit(1 if failures else 0)
