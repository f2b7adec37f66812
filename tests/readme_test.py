#!/usr/bin/env python3
"""The README, typed as a newcomer types it, in a fresh clone.

Takes the install lines from the README's "From source on Debian 12"
section and runs them in order in a fresh clone of the repository: the
apt-get lines are checked (their packages must be installed here, and
must name every package CI installs), a `sudo` line runs without sudo into
a temporary DESTDIR, the test command (tools/run-tests.sh, which is what
runs this test) is left out, every other line runs as it stands. Then each transcript in the README (an indented block whose first
line starts with "$ ") runs in the clone with the installed tool first on
the path, and what it prints (standard output and standard error, in
order) must be the block's lines exactly. A transcript whose input is not
in the clone (a user's own file) is left out, saying so.

The clone is of the repository's HEAD: uncommitted changes are not in it.

usage: readme_test.py <source folder>
Exit 77 (skipped) where the folder is no git clone, or where the README's
packages are not installed (under CI that fails instead).
"""
import os
import re
import shlex
import shutil
import subprocess
import sys
import tempfile

import test_skips

SECTION = "### From source on Debian 12"
# The README's second set-up command: it runs this test, so typing it here
# would start the whole run again.
TEST_COMMAND = "tools/run-tests.sh"


def ci_packages(source):
    """The packages CI installs: the words of .ci/run's packages=( ... )."""
    with open(os.path.join(source, ".ci", "run"), encoding="utf-8") as f:
        text = f.read()
    found = re.search(r"^packages=\(([^)]*)\)", text, re.M)
    return found.group(1).split() if found else None


def installed(package):
    """Whether a Debian package is installed; npm also where a node from
    elsewhere brought its own, as the README allows."""
    status = subprocess.run(["dpkg-query", "-W", "-f=${Status}", package],
                            capture_output=True, text=True).stdout
    return "ok installed" in status or (
        package == "npm" and shutil.which("npm") is not None)


def skip(reason, needed=True):
    """Skips; under CI it fails instead, unless needed is False (sources
    that are no git clone)."""
    test_skips.skip("readme_install", reason,
                    "run the README's install lines" if needed else None)


def code_blocks(lines):
    """Yields (heading, block lines) for each indented block, unindented."""
    heading, block = "", []
    for line in lines + [""]:
        if line.startswith("    "):
            block.append(line[4:])
            continue
        if block and line.strip() == "":
            continue
        if block:
            while block and block[-1] == "":
                block.pop()
            yield heading, block
            block = []
        if line.startswith("#"):
            heading = line.strip()


def run(command, cwd, env):
    print("+ " + command, flush=True)
    status = subprocess.run(["bash", "-c", command], cwd=cwd, env=env).returncode
    if status != 0:
        print("FAILED with status %d: %s" % (status, command))
        sys.exit(1)


def main():
    source = os.path.abspath(sys.argv[1])
    probe = subprocess.run(["git", "-C", source, "rev-parse", "HEAD"],
                           capture_output=True, text=True)
    if shutil.which("git") is None or probe.returncode != 0:
        skip("the sources are not a git clone (or git refuses them), so "
             "there is nothing to clone", needed=False)
    dirty = subprocess.run(["git", "-C", source, "status", "--porcelain"],
                           capture_output=True, text=True).stdout
    if dirty.strip():
        print("note: testing HEAD %s; uncommitted changes are not in the clone"
              % probe.stdout.strip()[:12])

    work = tempfile.mkdtemp(prefix="quillorn-readme-")
    try:
        clone = os.path.join(work, "quillorn")
        subprocess.run(["git", "clone", "--quiet", source, clone], check=True)
        with open(os.path.join(clone, "README.md"), encoding="utf-8") as f:
            lines = f.read().split("\n")
        install = [line for heading, block in code_blocks(lines)
                   if heading == SECTION for line in block]
        if not install:
            print("the README has no install lines under " + SECTION)
            return 1

        root = os.path.join(work, "root")
        env = dict(os.environ)
        env["DESTDIR"] = root
        # Two jobs at most: CTest runs others beside this one.
        env.setdefault("CMAKE_BUILD_PARALLEL_LEVEL", "2")
        if shutil.which("ccache") and "CMAKE_CXX_COMPILER_LAUNCHER" not in env:
            env["CMAKE_CXX_COMPILER_LAUNCHER"] = "ccache"
            env["CCACHE_BASEDIR"] = work
        env["PATH"] = os.path.join(root, "usr/local/bin") + os.pathsep + env["PATH"]

        named = [p for line in install for p in shlex.split(line)[3:]
                 if line.startswith("sudo apt-get install ")]
        needed = ci_packages(clone)
        if needed is None:
            print(".ci/run has no packages=( ... ) list to compare with")
            return 1
        unnamed = [p for p in needed if p not in named]
        if unnamed:
            print("CI installs packages the README's install lines do not "
                  "name: " + " ".join(unnamed))
            return 1
        for line in install:
            words = shlex.split(line, comments=True)
            if words[:3] == ["sudo", "apt-get", "install"]:
                missing = [p for p in words[3:]
                           if not p.startswith("-") and not installed(p)]
                if missing:
                    skip("the README's packages are not all installed: " +
                         " ".join(missing))
                print("+ " + line + "    (installed already)")
                continue
            if words == [TEST_COMMAND]:
                print("+ " + line + "    (left out: it is the run this test is part of)")
                continue
            run(line[len("sudo "):] if words[0] == "sudo" else line, clone, env)

        prefix = os.path.join(root, "usr/local")
        expected = ["bin/quillorn", "share/man/man1/quillorn.1.gz",
                    "share/bash-completion/completions/quillorn",
                    "share/doc/quillorn/README.md"]
        # Every page and picture the README links to comes along with it.
        for target in re.findall(r"\]\((docs/[^)#\s]+)", "\n".join(lines)):
            expected.append("share/doc/quillorn/" + target)
        problems = [path for path in sorted(set(expected))
                    if not os.path.isfile(os.path.join(prefix, path))]
        for path in problems:
            print("not installed: " + path)

        for heading, block in code_blocks(lines):
            if not block[0].startswith("$ "):
                continue
            words = shlex.split(block[0][2:])
            if (len(words) > 1 and words[0] == "quillorn" and
                    not os.path.exists(os.path.join(clone, words[1]))):
                print("left out (%s is not in a clone): %s" % (words[1], block[0]))
                continue
            script = ["exec 2>&1"]
            for line in block:
                if line.startswith("$ "):
                    script.append("printf '%s\\n' " + shlex.quote(line))
                    script.append(line[2:])
            shown = subprocess.run(["bash", "-c", "\n".join(script)], cwd=clone,
                                   env=env, capture_output=True,
                                   text=True).stdout.split("\n")
            if shown and shown[-1] == "":
                shown.pop()
            if shown != block:
                problems.append(block[0])
                print("under %s, the README shows:\n  %s\nbut typing it gives:\n  %s"
                      % (heading, "\n  ".join(block), "\n  ".join(shown)))
            else:
                print("as the README shows: " + block[0])
        return 1 if problems else 0
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
