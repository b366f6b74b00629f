#!/usr/bin/python3
"""The layer check against small source trees: it passes a tree whose
includes and links all go down and names every use that goes up or sideways."""

import os
import subprocess
import sys
import tempfile
import unittest

SCRIPT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "scripts", "check_layers.py")

# A tree whose every include and link goes down.
CLEAN = {
    "imagelib/bitmap.h": "#pragma once\n",
    "imagelib/readers/gif.cpp": '#include "../bitmap.h"\n#include <vector>\n',
    "zip/zip.h": '#include "imagelib/bitmap.h"\n',
    "processing/adjust.h": '#include "imagelib/bitmap.h"\n',
    "display/view_win.cpp": '#include "processing/adjust.h"\n#include "zip/zip.h"\n#include "resources/main.rh"\n',
    "resources/main.rh": "#define IDD_MAIN 100\n",
    "resources/main.rc": '#include "resources/main.rh"\n',
    "shell/language.h": '#include "display/view_win.h"\n',
    "tools/batch.cpp": '#include "shell/language.h"\n#include "tools/batch.h"\n',
    "player/player_win.cpp": '#include "display/view_win.h"\n',
    "app/commands_win.cpp": '#include "tools/batch.h"\n#include "player/showfile.h"\n',
    "tests/shell/language_test.cpp": '#include "app/commands_win.h"\n',
    "shell/CMakeLists.txt": "add_library(shell STATIC language.cpp)\n"
                            "target_link_libraries(shell PUBLIC imagelib pv::zlib)\n",
    "imagelib/CMakeLists.txt": "add_library(imagelib STATIC bitmap.cpp)\n",
    "tools/CMakeLists.txt": "add_library(tools_core STATIC batch.cpp)\n"
                            "target_link_libraries(tools_core\n  PUBLIC shell\n  PRIVATE imagelib)\n",
    "app/CMakeLists.txt": "add_library(viewer_win STATIC commands_win.cpp)\n"
                          "target_link_libraries(viewer_win PUBLIC tools_core shell)\n"
                          "add_executable(viewer WIN32 main.cpp)\n",
}


class CheckLayers(unittest.TestCase):
    def run_on(self, extra):
        with tempfile.TemporaryDirectory() as root:
            for name, text in {**CLEAN, **extra}.items():
                path = os.path.join(root, name)
                os.makedirs(os.path.dirname(path), exist_ok=True)
                with open(path, "w") as f:
                    f.write(text)
            run = subprocess.run([sys.executable, SCRIPT, root], capture_output=True, text=True)
            return run.returncode, run.stdout

    def test_a_tree_whose_uses_go_down_passes(self):
        code, out = self.run_on({})
        self.assertEqual(code, 0, out)

    def test_each_upward_or_sideways_use_is_named(self):
        cases = [
            # (files added or replaced, the fault line expected)
            ({"shell/browser.cpp": '#include "shell/language.h"\n\n#include "app/commands_win.h"\n'},
             "shell/browser.cpp:3: includes app/commands_win.h: shell may not use app"),
            ({"imagelib/readers/bmp.cpp": '#include "../../processing/adjust.h"\n'},
             "imagelib/readers/bmp.cpp:1: includes ../../processing/adjust.h: imagelib may not use processing"),
            ({"zip/zipfs.cpp": '#include "processing/adjust.h"\n'},
             "zip/zipfs.cpp:1: includes processing/adjust.h: zip may not use processing"),
            ({"player/showfile.cpp": '#  include "tools/batch.h"\n'},
             "player/showfile.cpp:1: includes tools/batch.h: player may not use tools"),
            ({"resources/tools.rc": '#include "resources/main.rh"\n#include "shell/language.h"\n'},
             "resources/tools.rc:2: includes shell/language.h: resources may not use shell"),
            ({"tools/CMakeLists.txt": "add_library(tools_core STATIC batch.cpp)\n"
                                      "target_link_libraries(tools_core PUBLIC shell\n  viewer_win)\n"},
             "tools/CMakeLists.txt: tools_core links viewer_win: tools may not use app"),
            ({"shell/CMakeLists.txt": "add_library(shell STATIC language.cpp)\n"
                                      "target_link_libraries(shell PRIVATE viewer)\n"},
             "shell/CMakeLists.txt: shell links viewer: shell may not use app"),
        ]
        for files, fault in cases:
            with self.subTest(fault=fault):
                code, out = self.run_on(files)
                self.assertEqual(code, 1, out)
                self.assertIn(fault, out.splitlines())

    def test_commented_out_uses_do_not_count(self):
        code, out = self.run_on({
            "shell/browser.cpp": '// #include "app/commands_win.h"\n/*\n#include "tools/batch.h"\n*/\n',
            "shell/CMakeLists.txt": "add_library(shell STATIC language.cpp)\n# target_link_libraries(shell viewer_win)\n",
        })
        self.assertEqual(code, 0, out)


if __name__ == "__main__":
    unittest.main()
