#!/usr/bin/env python3
"""scripts/check-layers.py on small fake source trees (and on the real one): each kind of break
fails the check, the baseline covers exactly what it lists, and a clean tree passes."""

import pathlib
import subprocess
import sys
import tempfile
import unittest

ROOT = pathlib.Path(__file__).resolve().parents[2]
SCRIPT = ROOT / "scripts" / "check-layers.py"

# A tree that follows the layers: the form and a page declare widgets, gui/ and the form's own
# folders use them, cli/ mentions them only in comments and literals.
CLEAN = {
    "platform/Error.h": "",
    "ui/Control.h": "class Control {\n  public:\n    int Name() const;\n};\n",
    "ui/Button.h": '#include "ui/Control.h"\nclass Button : public Control {\n};\n',
    "ui/Slider.h": '#include "ui/Control.h"\nclass RangeControl : public Control {};\n'
                   "class Slider final : public RangeControl {};\n",
    "ui/Timer.h": "class Timer {\n};\n",
    "link/Link.h": '#include "ui/Button.h"\n',
    "devices/Registry.h": '#include "link/Link.h"\n',
    "engine/Terminal.h": '#include "devices/Registry.h"\n#include <vector>\n',
    "engine/internal/Steps.h": '#include "engine/Terminal.h"\n',
    "frame/configZD4270.h": '#include "engine/Terminal.h"\n#include <ui/Button.h>\n'
                            "class configZD4270 {\n  public:\n"
                            '    Button cmdStart{"cmdStart"};\n'
                            '    Timer timerScan{"timerScan"};  // Button notAWidget\n'
                            "    void HandleObjectEvents();\n  private:\n    int m_count = 0;\n};\n",
    "pages/Page.h": '#include "frame/configZD4270.h"\n'
                    "class Page {\n  public:\n    std::array<Slider, 2> sliLevels{};\n};\n",
    "addressing/Run.cpp": '#include "frame/configZD4270.h"\n#include "engine/internal/Steps.h"\nvoid Run(configZD4270& c) { c.cmdStart; }\n',
    "archive/Tab.cpp": '#include "frame/configZD4270.h"\n',
    "sim/Line.h": '#include "platform/Error.h"\n',
    "transport/Port.cpp": '#include "sim/Line.h"\n#include <modbus.h>\n',
    "transport/Port.h": "",
    "connection/Open.cpp": '#include "engine/Terminal.h"\n#include "transport/Port.h"\n',
    "report/Pdf.cpp": '#include "connection/Open.h"\n#include <QString>\n',
    "cli/Command.cpp": '#include "connection/Open.h"\n#include "Local.h"\n'
                       "// control.cmdStart and HandleObjectEvents, in a comment\n"
                       'void Run(Form& f) { int n = 1\'000; Say("f.cmdStart"); Say(R"(f->timerScan)"); }\n'
                       "/* page.sliLevels\n   over lines */ int notAWidget = 0;\n",
    "cli/Local.h": "",
    "gui/Window.cpp": '#include "connection/Open.h"\n#include "pages/Page.h"\nvoid Bind(Form& f) { f.cmdStart.Click(); }\n',
    "app/main.cpp": '#include "cli/Local.h"\n#include <gui/Window.h>\n',
    "gui/Window.h": "",
    "connection/Open.h": "",
}


class CheckLayersTest(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.TemporaryDirectory()
        self.src = pathlib.Path(self.dir.name) / "src"
        self.baseline = pathlib.Path(self.dir.name) / "baseline.txt"
        for name, text in CLEAN.items():
            self.write(name, text)

    def tearDown(self):
        self.dir.cleanup()

    def write(self, name, text):
        path = self.src / name
        path.parent.mkdir(parents=True, exist_ok=True)
        path.write_text(text)

    def run_check(self, *extra, src=None):
        command = [sys.executable, str(SCRIPT)]
        command += [str(self.src), "--baseline", str(self.baseline)] if src is None else []
        result = subprocess.run(command + list(extra), capture_output=True, text=True, cwd=ROOT)
        return result.returncode, result.stdout + result.stderr

    def assertFails(self, *needles):
        code, output = self.run_check()
        self.assertEqual(code, 1, output)
        for needle in needles:
            self.assertIn(needle, output)
        return output

    def test_clean_tree_passes(self):
        code, output = self.run_check()
        self.assertEqual(code, 0, output)
        self.assertIn("0 include break(s); 0 lines outside the form name its widgets and 0 build",
                      output)

    def test_include_breaks_fail_and_are_never_baselined(self):
        cases = {
            "quoted": ("ui/Bad.h", '#include "frame/configZD4270.h"\n', "ui/ includes frame/"),
            "angle": ("link/Bad.h", "#include <frame/configZD4270.h>\n", "link/ includes frame/"),
            "frame on a part": ("frame/Bad.cpp", '#include "pages/Page.h"\n', "frame/ includes pages/"),
            "part on a part": ("archive/Bad.cpp", "#include <addressing/Run.cpp>\n",
                               "archive/ includes addressing/"),
            "engine on the form": ("engine/Bad.h", '#include "frame/configZD4270.h"\n',
                                   "engine/ includes frame/"),
            "maintenance on the form": ("maintenance/Bad.cpp", '#include "frame/configZD4270.h"\n',
                                        "maintenance/ includes frame/"),
            "Qt in a procedure": ("maintenance/Bad.cpp", "#include <QString>\n",
                                  "maintenance/ includes the Qt header <QString>"),
            "libmodbus beside the ports": ("connection/Bad.cpp", "#include <modbus/modbus.h>\n",
                                           "connection/ includes the libmodbus header"),
            "cli on a page": ("cli/Bad.cpp", "#include <pages/Page.h>\n", "cli/ includes pages/"),
            "cli inside the engine": ("cli/Bad.cpp", '#include "engine/internal/Steps.h"\n',
                                      "cli/ includes engine/internal/Steps.h, the engine's inside"),
            "Qt in the control": ("pages/Bad.cpp", "#include <QtCore/QString>\n",
                                  "pages/ includes the Qt header <QtCore/QString>"),
            "unknown folder": ("extra/Bad.h", "", "extra: folder has no place in the layers"),
        }
        for case, (name, text, message) in cases.items():
            with self.subTest(case):
                self.write(name, text)
                self.run_check("--write-baseline")
                self.assertFails(message)
                (self.src / name).unlink()

    def test_widget_use_fails_until_baselined_and_baseline_stays_exact(self):
        self.write("cli/Use.cpp", "void Go(Form& f, Page* p) {\n"
                                  "  int n = 1'000; f.cmdStart.Click(); char c = 'x';\n"
                                  "  p->sliLevels[0].SetValue(n); f.timerScan.Enable();\n}\n")
        self.assertFails("cli/Use.cpp:2: cli/ uses the form's widget cmdStart; front ends call the engine",
                         "cli/Use.cpp:3: cli/ uses the form's widget sliLevels",
                         "cli/Use.cpp:3: cli/ uses the form's widget timerScan")

        code, output = self.run_check("--write-baseline")
        self.assertEqual(code, 0, output)
        self.assertIn("cli/Use.cpp cmdStart 1", self.baseline.read_text())
        self.assertIn("2 lines outside the form name its widgets (cli/ 2)", output)

        self.write("cli/Use.cpp", "void Go(Form& f, Page* p) {\n  f.cmdStart.Click();\n"
                                  "  p->sliLevels[0].SetValue(1); f.timerScan.Enable();\n"
                                  "  f .\n   cmdStart.Click();\n}\n")
        self.assertFails("cli/Use.cpp:5: cli/ uses the form's widget cmdStart",
                         "(2 lines, the baseline allows 1)", "1 use(s) new")

        self.write("cli/Use.cpp", "void Go(Form& f, Page* p) {\n  f.cmdStart.Click();\n}\n")
        output = self.assertFails("naming sliLevels, 0 remain; run", "--write-baseline")
        self.assertNotIn("uses the form's widget cmdStart", output)

    def test_page_events_built_by_hand_fail(self):
        for folder in ("maintenance", "engine"):
            with self.subTest(folder):
                self.write(f"{folder}/Ask.cpp", "void Ask(Form& f) {\n  EventParams params;\n"
                                                '  f.HandleObjectEvents("SendDALICommand", params);\n}\n')
                self.assertFails(f"{folder}/Ask.cpp:2: {folder}/ raises a page event by hand (EventParams)",
                                 f"{folder}/Ask.cpp:3: {folder}/ raises a page event by hand "
                                 "(HandleObjectEvents)")
                (self.src / f"{folder}/Ask.cpp").unlink()

    def test_missing_form_header_is_an_error(self):
        (self.src / "frame/configZD4270.h").unlink()
        code, output = self.run_check()
        self.assertNotEqual(code, 0)
        self.assertIn("the form's header is missing", output)

    def test_real_tree_passes(self):
        code, output = self.run_check(src=ROOT / "src")
        self.assertEqual(code, 0, output)


if __name__ == "__main__":
    unittest.main()
