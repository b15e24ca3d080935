#!/usr/bin/env python3
"""The manual pages name every option and environment variable the code has.

Options are read from cantrel's command line (its QCommandLineOption names,
Qt's own hidden ones aside) and from cantrel-devsim's argument loop;
environment variables from every name the code reads from the environment.

usage: check_man_pages.py SOURCE_DIR
"""
import pathlib
import re
import sys


def man_text(path):
    # Roff writes a hyphen as \- and may set a word in bold or italics.
    text = path.read_text(encoding="utf-8")
    return re.sub(r"\\f[BIRP]", "", text).replace("\\-", "-")


def main():
    root = pathlib.Path(sys.argv[1])
    cantrel = man_text(root / "packaging/cantrel.1")
    devsim = man_text(root / "packaging/cantrel-devsim.1")
    failures = []

    command_line = (root / "src/app/CommandLine.cpp").read_text(encoding="utf-8")
    options = re.findall(r'QCommandLineOption\s+\w+\(\s*QStringLiteral\("([a-z-]+)"\)',
                         command_line)
    for option in ["help", "help-all", "version"] + options:
        if f"--{option}" not in cantrel:
            failures.append(f"cantrel.1 lacks --{option}")

    for option in re.findall(r'arg == "(--[a-z-]+)"',
                             (root / "tools/devsim/devsim.cpp").read_text(encoding="utf-8")):
        if option not in devsim:
            failures.append(f"cantrel-devsim.1 lacks {option}")

    variables = set()
    for path in root.glob("src/**/*.cpp"):
        code = path.read_text(encoding="utf-8")
        variables.update(re.findall(
            r'(?:getenv|qgetenv|qEnvironmentVariable\w*)\(\s*"([A-Z_0-9]+)"', code))
        variables.update(re.findall(r'"(CANTREL_[A-Z_0-9]*)"', code))
    for variable in sorted(variables):
        # "CANTREL_" followed by a port name: CANTREL_COMn.
        name = variable + "COM" if variable.endswith("_") else variable
        if name not in cantrel:
            failures.append(f"cantrel.1 lacks the environment variable {name}")

    for failure in failures:
        print(failure)
    print(f"{len(options) + 3} options, {len(variables)} environment variables, "
          f"{len(failures)} failures")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
