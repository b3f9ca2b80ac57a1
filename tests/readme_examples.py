#!/usr/bin/env python3
"""The README's twk examples, run as a reader would run them.

Every ```console block of the README is a session: lines starting with "$ "
are commands, the lines after one (up to the next command or the block's
end) are what it prints. The commands run one after another with sh, in a
scratch folder that holds a copy of samples/ and a `build` link to the
folder of the twk under test, and each must print exactly its lines.

    readme_examples.py README TWK_DIR SAMPLES_DIR
"""
import os
import shutil
import subprocess
import sys
import tempfile


def sessions(readme):
    """The console blocks of the README: lists of (command, expected text)."""
    blocks, block, inside = [], None, False
    for line in readme.split("\n"):
        if not inside and line.strip() == "```console":
            inside, block = True, []
        elif inside and line.strip() == "```":
            blocks.append(block)
            inside = False
        elif inside:
            if line.startswith("$ "):
                block.append([line[2:], []])
            elif block:
                block[-1][1].append(line)
            else:
                raise ValueError("output before any command: " + line)
    if inside:
        raise ValueError("a console block is not closed")
    return [[(command, "".join(l + "\n" for l in out)) for command, out in b] for b in blocks]


def main():
    readme_path, twk_dir, samples_dir = sys.argv[1:4]
    with open(readme_path, encoding="utf-8") as f:
        blocks = sessions(f.read())
    commands = sum(len(b) for b in blocks)
    if commands < 5:
        print("README: only %d example commands found" % commands)
        return 1
    env = {"PATH": os.environ.get("PATH", "/usr/bin:/bin"), "LANG": "C.UTF-8"}
    for name in ("ASAN_OPTIONS", "UBSAN_OPTIONS", "LSAN_OPTIONS"):
        if name in os.environ:
            env[name] = os.environ[name]
    failures = 0
    with tempfile.TemporaryDirectory(prefix="twk-readme-") as scratch:
        shutil.copytree(samples_dir, os.path.join(scratch, "samples"))
        os.symlink(os.path.abspath(twk_dir), os.path.join(scratch, "build"))
        for block in blocks:
            for command, expected in block:
                run = subprocess.run(["sh", "-c", command], cwd=scratch, env=env,
                                     stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
                printed = run.stdout.decode("utf-8", "replace")
                if printed != expected:
                    failures += 1
                    print("README example differs: $ " + command)
                    print("--- README\n" + expected + "--- printed\n" + printed + "---")
    print("%d README commands run, %d differ" % (commands, failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
