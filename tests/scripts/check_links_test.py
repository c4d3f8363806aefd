#!/usr/bin/env python3
"""scripts/check-links on small trees of its own: two or three folders with READMEs, compiled and
archived as CMake does, with the compile_commands.json the script reads. Each case plants (or
leaves out) one use of a symbol across folders and says what the script must answer."""
import json
import pathlib
import subprocess
import sys
import tempfile
import unittest

SCRIPT = pathlib.Path(__file__).resolve().parents[2] / "scripts" / "check-links"

# The three folders of every case: low/ uses nothing, low/deep/ uses low/, high/ uses low/.
READMES = {
    "low": "# low/\nUses: nothing of ours.\n",
    "low/deep": "# low/deep/\nUses: low/.\n",
    "high": "# high/\nUses: low/\n",
}
BASE = {
    "low/Base.cpp": "int base() { return 1; }\n",
    "low/deep/Deep.cpp": "int base();\nint deep() { return base() + 1; }\n",
    "high/Top.cpp": "int base();\nint deep();\nint top() { return base() + deep(); }\n",
}
# library -> the folders whose sources it archives (CMake's target names the folder)
LIBRARIES = {"fix_low": ("low", "low/deep"), "fix_high": ("high",)}


def build(tree: pathlib.Path, sources: dict, generated: dict):
    for folder, text in READMES.items():
        (tree / folder).mkdir(parents=True, exist_ok=True)
        (tree / folder / "README.md").write_text(text)
    out = tree / "build"
    out.mkdir()
    (out / "CMakeCache.txt").write_text("")
    commands = []
    members = {lib: [] for lib in LIBRARIES}
    everything = [(tree / p, p, None) for p in sources] + [(out / p, p, lib) for lib, files in generated.items() for p in files]
    for path, rel, generated_for in everything:
        path.parent.mkdir(parents=True, exist_ok=True)
        path.write_text(sources.get(rel) or generated[generated_for][rel])
        lib = generated_for or next(l for l, folders in LIBRARIES.items() if path.parent.relative_to(tree).as_posix() in folders)
        obj = f"CMakeFiles/{lib}.dir/{rel}.o"
        (out / obj).parent.mkdir(parents=True, exist_ok=True)
        subprocess.run(["c++", "-c", str(path), "-o", str(out / obj)], check=True)
        commands.append({"directory": str(out), "file": str(path), "output": obj,
                         "command": f"c++ -o {obj} -c {path}"})
        members[lib].append(str(out / obj))
    (out / "compile_commands.json").write_text(json.dumps(commands))
    for lib, objs in members.items():
        subprocess.run(["ar", "qc", str(out / f"lib{lib}.a"), *objs], check=True)
    return out


def check(sources: dict, generated: dict = None):
    with tempfile.TemporaryDirectory() as temp:
        tree = pathlib.Path(temp)
        out = build(tree, sources, generated or {})
        run = subprocess.run([sys.executable, str(SCRIPT), str(out), str(tree)], capture_output=True, text=True)
        return run.returncode, run.stdout.splitlines()


class CheckLinksTest(unittest.TestCase):
    def test_cases(self):
        cases = [
            # what, the sources changed from BASE, generated sources per library, faults expected
            ("every use runs down (a sub-folder uses its parent, as its README says)", {}, {}, []),
            ("a lower folder calls up: the fault is named once, with both places",
             {"low/Base.cpp": "int top();\nint base() { return 1; }\nint twice() { return top() + top(); }\n"}, {},
             ["low/ libfix_low.a(Base.cpp.o): uses top(), defined in high/ (libfix_high.a(Top.cpp.o)), "
              "but low/ uses only nothing of ours"]),
            ("a lower folder reads a variable defined higher up",
             {"high/Top.cpp": BASE["high/Top.cpp"] + "int level = 3;\n",
              "low/Base.cpp": "extern int level;\nint base() { return level; }\n"}, {},
             ["low/ libfix_low.a(Base.cpp.o): uses level, defined in high/ (libfix_high.a(Top.cpp.o)), "
              "but low/ uses only nothing of ours"]),
            ("a parent may not use its own sub-folder unless its README names it, as for includes",
             {"low/Base.cpp": "int deep();\nint base() { return 1; }\nint twice() { return deep(); }\n"}, {},
             ["low/ libfix_low.a(Base.cpp.o): uses deep(), defined in low/deep/ (libfix_low.a(Deep.cpp.o)), "
              "but low/ uses only nothing of ours"]),
            ("a folder named on a Uses line stands for its sub-folders",
             {"high/Top.cpp": "int deep();\nint top() { return deep(); }\n"}, {}, []),
            ("a sub-folder is checked against its own README",
             {"low/deep/Deep.cpp": "int base();\nint top();\nint deep() { return base() + top(); }\n"}, {},
             ["low/deep/ libfix_low.a(Deep.cpp.o): uses top(), defined in high/ (libfix_high.a(Top.cpp.o)), "
              "but low/deep/ uses only low/"]),
            ("an inline function (a weak definition) belongs to no folder",
             {"high/Top.cpp": BASE["high/Top.cpp"] + "inline int shared() { return 2; }\nint useShared() { return shared(); }\n",
              "low/Base.cpp": "inline int shared() { return 2; }\nint base() { return shared(); }\n"}, {}, []),
            ("generated code may call into any folder of its library, and is owned by the library's top folder",
             {}, {"fix_low": {"fix_low_autogen/mocs_compilation.cpp": "int deep();\nint meta() { return deep(); }\n"}}, []),
            ("a lower folder that calls generated code of a higher library is caught",
             {"low/Base.cpp": "int meta();\nint base() { return meta(); }\n"},
             {"fix_high": {"fix_high_autogen/mocs_compilation.cpp": "int meta() { return 7; }\n"}},
             ["low/ libfix_low.a(Base.cpp.o): uses meta(), defined in high/ (libfix_high.a(mocs_compilation.cpp.o)), "
              "but low/ uses only nothing of ours"]),
        ]
        for what, changed, generated, expected in cases:
            with self.subTest(what):
                code, lines = check({**BASE, **changed}, generated)
                faults = [l for l in lines if not l.startswith("check-links:")]
                self.assertEqual(faults, expected)
                self.assertEqual(code, 1 if expected else 0, lines)
                if expected:
                    self.assertEqual(lines[-1], f"check-links: {len(expected)} fault(s)")

    def test_a_build_folder_without_commands_is_said_so(self):
        with tempfile.TemporaryDirectory() as temp:
            (pathlib.Path(temp) / "low").mkdir()
            (pathlib.Path(temp) / "low" / "README.md").write_text(READMES["low"])
            run = subprocess.run([sys.executable, str(SCRIPT), temp, temp], capture_output=True, text=True)
            self.assertEqual(run.returncode, 1)
            self.assertIn("compile_commands.json is missing", run.stdout)


if __name__ == "__main__":
    unittest.main()
