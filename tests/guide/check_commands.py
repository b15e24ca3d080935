#!/usr/bin/env python3
"""Every command the guide shows that can run here runs, with the exit status the guide gives.

The commands are read from the guide's code blocks. Those that run until they
are stopped or open a window are named below and not run; any other command
line of the program that the test does not know fails it, so a new example
in the guide is either run here or named.

usage: check_commands.py GUIDE BIN_DIR   (on a session bus of its own, with no service on it)
"""
import os
import pathlib
import re
import subprocess
import sys
import tempfile

# What the guide says of each: --status is 3 when no service runs.
EXIT_STATUS = {"--help": 0, "--version": 0, "--status": 3, "--plan": 0}
# Run until stopped, or open the window: shown, not run here.
NOT_RUN = [
    (re.compile(r"^cantrel-devsim --link "), "the simulated device runs until stopped"),
    (re.compile(r"^cantrel$"), "the window"),
    (re.compile(r"^cantrel --run\b"), "runs the schedule until stopped"),
]


def commands(guide):
    lines, block = [], False
    for line in guide.splitlines():
        stripped = line.strip()
        if stripped.startswith("```"):
            block = not block
            continue
        if not block:
            continue
        command = re.sub(r"^\$ ", "", stripped)
        command = re.sub(r"\s+#.*$", "", command)
        command = re.sub(r"^(\w+=\S+\s+)+", "", command)  # variables set for the command
        command = re.sub(r"\s*&$", "", command)
        command = re.sub(r"^build/bin/", "", command)
        if re.match(r"^cantrel(-devsim)?(\s|$)", command):
            lines.append(command)
    return lines


def station(folder):
    """A calendar with an empty entry for each day and a plan behind it."""
    (folder / "school.24h").write_bytes(b"08:00:00,1,Bell,\r\n")
    (folder / "month.31d").write_bytes(b"".join(b"%d \r\n" % day for day in range(1, 32)))
    (folder / "month.plan").write_text("mon-fri school.24h\nsat,sun -\n")
    (folder / "Cantrel.ini").write_bytes(b"file31d=month.31d\r\nPort=0\r\n")


def main():
    guide = pathlib.Path(sys.argv[1]).read_text(encoding="utf-8")
    bin_dir = pathlib.Path(sys.argv[2])
    failures, ran = [], 0
    with tempfile.TemporaryDirectory() as tmp:
        folder = pathlib.Path(tmp)
        station(folder)
        env = dict(os.environ, XDG_CONFIG_HOME=str(folder / "config"),
                   XDG_STATE_HOME=str(folder / "state"), QT_QPA_PLATFORM="offscreen")
        has_plan = "--plan" in subprocess.run([bin_dir / "cantrel", "--help"], env=env,
                                              capture_output=True, text=True).stdout
        for command in commands(guide):
            if any(pattern.search(command) for pattern, _ in NOT_RUN):
                print(f"not run here: {command}")
                continue
            words = command.split()
            if words[0] == "cantrel-devsim":
                expected = 0 if words[1:] == ["--help"] else None
            else:
                expected = EXIT_STATUS.get(words[1]) if len(words) > 1 else None
            if expected is None:
                failures.append(f"a command the test does not know: {command}")
                continue
            if words[1:2] == ["--plan"] and not has_plan:
                print(f"not in this build: {command}")
                continue
            result = subprocess.run([bin_dir / words[0]] + words[1:], cwd=folder, env=env,
                                    capture_output=True, text=True, timeout=60)
            ran += 1
            if result.returncode != expected:
                failures.append(f"{command}: exit status {result.returncode}, the guide says "
                                f"{expected}\n{result.stdout}{result.stderr}")
    for failure in failures:
        print(failure)
    print(f"{ran} commands run, {len(failures)} failures")
    return 1 if failures or ran == 0 else 0


if __name__ == "__main__":
    sys.exit(main())
