#!/usr/bin/env python3
"""morvane-bench run as a user runs it: on builds that are wrong in one way
each (FaultyBuild.c), on the project's own library, and with bad command
lines; its exit status, its lines on standard error, its JSON file and its
HTML report checked. One suite per argument; CMake passes the paths in the
environment (bench/tests/CMakeLists.txt)."""

import base64
import html.parser
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile
import unittest

BENCH = os.environ["MORVANE_BENCH"]
FAULTY = os.environ["FAULTY_BUILDS"]
OURS = os.environ["IMAGEPROCESSING"]
TESTDATA = os.environ["TESTDATA"]
PHOTO = os.path.join(TESTDATA, "photos", "chelsea.png")       # 451 x 300: padded rows
SMALL_PHOTO = os.path.join(TESTDATA, "jpeg", "testorig.jpg")  # 227 x 149


def faulty(name):
    return os.path.join(FAULTY, "lib%s.so" % name)


class BenchCase(unittest.TestCase):
    def setUp(self):
        self.folder = tempfile.mkdtemp(prefix="morvane-bench-test-")
        self.addCleanup(shutil.rmtree, self.folder)

    def bench(self, *arguments, timeout=300, cpus=None):
        """Runs morvane-bench with --json, on the given CPUs when told; returns the process and the
        JSON (None when not written)."""
        out = os.path.join(self.folder, "out.json")
        if os.path.exists(out):
            os.remove(out)
        process = subprocess.run([BENCH, "--json", out, *arguments], capture_output=True, text=True,
                                 timeout=timeout,
                                 preexec_fn=None if cpus is None else lambda: os.sched_setaffinity(0, cpus))
        results = None
        if os.path.exists(out):
            with open(out, encoding="utf-8") as f:
                results = json.load(f)
        return process, results

    def results(self, results, build, edge_shape=None):
        return [r for r in results["results"]
                if r["build"] == build and (edge_shape is None or r["edge_shape"] == edge_shape)]


class UsageErrors(BenchCase):
    def test_every_usage_error_stops_the_run_before_anything_is_measured(self):
        not_a_library = os.path.join(self.folder, "libnot.so")
        with open(not_a_library, "w") as f:
            f.write("not a library\n")
        empty = os.path.join(self.folder, "empty")
        os.mkdir(empty)
        with open(os.path.join(empty, "notes.txt"), "w") as f:
            f.write("no pictures here\n")
        missing = os.path.join(self.folder, "missing.so")
        cases = [
            (["--library", missing, PHOTO], [missing, "No such file"]),
            (["--library", OURS, "--library", not_a_library, PHOTO], ["build B", not_a_library]),
            (["--library", faulty("no_entry_point"), PHOTO], ["no entry point DetailEnhancementByBilaterFilter"]),
            ([empty], [empty, "holds no pictures"]),
            ([os.path.join(self.folder, "gone.jpg")], ["gone.jpg"]),
            (["--strength", "5-1", PHOTO], ["runs backwards"]),
            (["--fail-if-different", PHOTO], ["two builds"]),
            (["--frobnicate", PHOTO], ["unknown option --frobnicate"]),
        ]
        for arguments, named in cases:
            with self.subTest(arguments=arguments):
                process, results = self.bench(*arguments)
                self.assertEqual(process.returncode, 2, process.stderr)
                self.assertIsNone(results, "a usage error must stop the run before the JSON is written")
                self.assertEqual(process.stdout, "")
                first = process.stderr.splitlines()[0]
                for text in named:
                    self.assertIn(text, first)

    def test_folders_are_searched_and_a_picture_that_cannot_be_read_is_skipped(self):
        pictures = os.path.join(self.folder, "pictures")
        os.makedirs(os.path.join(pictures, "deeper"))
        broken = os.path.join(pictures, "broken.jpg")
        with open(broken, "wb") as f:
            f.write(b"\xff\xd8\xff\xe0 not really a JPEG")
        good = os.path.join(pictures, "deeper", "TESTORIG.JPG")
        shutil.copy(SMALL_PHOTO, good)
        with open(os.path.join(pictures, "notes.txt"), "w") as f:
            f.write("not a picture\n")
        process, results = self.bench("--runs", "3", pictures)
        self.assertEqual(process.returncode, 0, process.stderr)
        self.assertIn("broken.jpg", process.stderr)
        self.assertEqual([s["picture"] for s in results["skipped"]], [broken])
        measured = {r["picture"] for r in self.results(results, "A", edge_shape=False)}
        self.assertEqual(measured, {good})
        self.assertEqual(sorted(os.listdir(os.path.join(pictures, "deeper"))), ["TESTORIG.JPG"],
                         "nothing is written beside the pictures")

        os.remove(good)
        process, _ = self.bench(pictures)
        self.assertEqual(process.returncode, 2)
        self.assertIn("none of the pictures could be read", process.stderr)


class BuildNames(BenchCase):
    def test_a_bare_name_is_looked_for_as_the_window_looks_for_its_library(self):
        # Without --library: the window's library, found beside the program.
        process, results = self.bench("--runs", "3", SMALL_PHOTO)
        self.assertEqual(process.returncode, 0, process.stderr)
        self.assertEqual(results["builds"][0]["path"], "ImageProcessing")
        self.assertEqual(results["builds"][0]["file"], os.path.join(os.path.dirname(BENCH), "libImageProcessing.so"))
        # A name of another library: its installed, versioned file on the search path.
        shutil.copy(faulty("padding"), os.path.join(self.folder, "libProbe.so.1"))
        environment = dict(os.environ, LD_LIBRARY_PATH=self.folder)
        out = os.path.join(self.folder, "out.json")
        process = subprocess.run([BENCH, "--json", out, "--library", "Probe", "--runs", "3", SMALL_PHOTO],
                                 capture_output=True, text=True, env=environment, timeout=300)
        self.assertEqual(process.returncode, 0, process.stderr)
        with open(out, encoding="utf-8") as f:
            self.assertEqual(json.load(f)["builds"][0]["file"], os.path.join(self.folder, "libProbe.so.1"))
        # A name found nowhere: every place tried is named.
        process, _ = self.bench("--library", "NoSuchBuild", SMALL_PHOTO)
        self.assertEqual(process.returncode, 2)
        for place in (os.path.join(os.path.dirname(BENCH), "libNoSuchBuild.so"), "libNoSuchBuild.so.1",
                      "libNoSuchBuild.so on the system's library search path:"):
            self.assertIn(place, process.stderr)


class FaultyBuilds(BenchCase):
    """Our library as A, a faulty build as B: B's fault is reported for every
    picture it shows on, A is still measured in full, and the files are written."""

    def against_ours(self, fault, *extra):
        process, results = self.bench("--library", OURS, "--library", faulty(fault), "--runs", "3", *extra,
                                      SMALL_PHOTO, PHOTO)
        self.assertIsNotNone(results, process.stderr)
        a = self.results(results, "A")
        self.assertEqual(len(a), 2 + 4, "two photos and four edge shapes for A")
        for r in a:
            self.assertEqual(r["result"], 0)
            self.assertFalse(r["crashed"] or r["timed_out"] or r["contract_violations"])
            self.assertTrue(r["deterministic"])
        return process, results, self.results(results, "B")

    def assert_named_on_one_line(self, stderr, picture, text):
        lines = [l for l in stderr.splitlines() if picture in l and "build B" in l and text in l]
        self.assertEqual(len(lines), 1, stderr)

    def test_a_crash_is_reported_with_its_signal_and_the_run_goes_on(self):
        report = os.path.join(self.folder, "report.html")
        process, _, b = self.against_ours("crash", "--report", report)
        self.assertEqual(process.returncode, 3)
        checker = check_page(report)
        self.assertEqual(checker.problems, [])
        self.assertIn("crashed", checker.cells)
        for r in b:
            self.assertTrue(r["crashed"], r["picture"])
            self.assertEqual(r["signal"], 11)
            self.assertEqual(r["contract_violations"], [])
            self.assertIsNone(r["median_ms"])
        self.assert_named_on_one_line(process.stderr, PHOTO, "SIGSEGV")

    def test_a_call_that_never_returns_times_out_and_a_fresh_worker_takes_the_next(self):
        process, _, b = self.against_ours("hang", "--call-timeout", "0.5")
        self.assertEqual(process.returncode, 3)
        self.assertEqual([r["timed_out"] for r in b], [True] * 6)
        self.assertFalse(any(r["crashed"] for r in b))
        self.assert_named_on_one_line(process.stderr, PHOTO, "did not return within 0.5 s")

    def test_a_write_past_the_end_is_an_access_outside_the_buffer(self):
        process, _, b = self.against_ours("past_the_end")
        self.assertEqual(process.returncode, 3)
        for r in b:
            self.assertFalse(r["crashed"])
            self.assertEqual(len(r["contract_violations"]), 1)
            self.assertIn("right after its last one", r["contract_violations"][0])
        self.assert_named_on_one_line(process.stderr, PHOTO, "outside its buffer")

    def test_a_write_before_the_start_is_an_access_outside_the_buffer(self):
        process, _, b = self.against_ours("before_the_start")
        self.assertEqual(process.returncode, 3)
        for r in b:
            self.assertFalse(r["crashed"])
            self.assertIn("the nearest 1 byte before it", r["contract_violations"][0])
            self.assertTrue(r["median_ms"] is not None, "the calls go on after a write into the slack")

    def test_a_write_into_the_row_padding_is_a_warning(self):
        process, _, b = self.against_ours("padding")
        self.assertEqual(process.returncode, 0, process.stderr)
        # Every shape is tried with padded rows, whatever the window's layout.
        self.assertTrue(all(r["padding_written"] for r in b))
        self.assertFalse(any(r["contract_violations"] for r in b))
        self.assert_named_on_one_line(process.stderr, PHOTO, "row padding")

    def test_output_that_changes_between_calls_is_a_warning(self):
        process, _, b = self.against_ours("nondeterministic")
        self.assertEqual(process.returncode, 0, process.stderr)
        self.assertTrue(all(r["deterministic"] is False for r in b))
        self.assert_named_on_one_line(process.stderr, PHOTO, "different bytes")

    def test_a_refusal_is_reported_by_its_name_and_another_result_as_unknown(self):
        process, results, b = self.against_ours("returns", "--env", "FAULTY_RESULT=-3")
        self.assertEqual(process.returncode, 0, process.stderr)
        self.assertEqual(results["builds"][1]["env"], {"FAULTY_RESULT": "-3"})
        self.assertEqual({(r["result"], r["result_name"]) for r in b}, {(-3, "IMAGEPROCESSING_ERROR_BAD_STRIDE")})
        self.assert_named_on_one_line(process.stderr, PHOTO, "IMAGEPROCESSING_ERROR_BAD_STRIDE (-3)")
        # A refusal leaves the photos as they were, which differs from A's output.
        self.assertTrue(all(p["identical"] is False for p in results["pairs"] if not p["edge_shape"]))
        process, _, b = self.against_ours("returns", "--env", "FAULTY_RESULT=42")
        self.assertEqual(process.returncode, 0, process.stderr)
        self.assertEqual({(r["result"], r["result_name"]) for r in b}, {(42, "")})
        self.assert_named_on_one_line(process.stderr, PHOTO, "an unknown result 42")


class Comparison(BenchCase):
    def timed(self, *arguments):
        """Runs morvane-bench for a time ratio: calls on one thread, since on a busy
        machine a call on two waits for a helper thread that another process
        holds, which swamps a ratio on a photo this small; and on one CPU, since
        each build's worker otherwise keeps to a CPU of its own, and where the
        CPUs differ in speed (a virtual machine's do) the ratio is theirs as much
        as the builds'."""
        return self.bench("--env", "OMP_NUM_THREADS=1", *arguments, cpus={min(os.sched_getaffinity(0))})

    def test_the_same_build_twice_is_identical_at_a_ratio_near_one(self):
        copies = [os.path.join(self.folder, name) for name in ("first.so", "second.so")]
        for copy in copies:
            shutil.copy(OURS, copy)
        process, results = self.timed("--library", copies[0], "--library", copies[1], "--strength", "1,10",
                                      PHOTO)
        self.assertEqual(process.returncode, 0, process.stderr)
        self.assertEqual([b["file"] for b in results["builds"]], copies)
        for pair in results["pairs"]:
            self.assertTrue(pair["identical"], pair)
            self.assertEqual(pair["differing_pixels"], 0)
            self.assertIsNone(pair["psnr_db"])
            self.assertIsNone(pair["bbox"])
            if not pair["edge_shape"]:
                self.assertTrue(2 / 3 < pair["ratio"] < 3 / 2, pair)

    def test_output_that_differs_in_one_region_is_found_there(self):
        process, results = self.bench("--library", OURS, "--library", faulty("region"), "--runs", "3", PHOTO)
        self.assertEqual(process.returncode, 0, process.stderr)
        pairs = {p["picture"]: p for p in results["pairs"]}
        photo = pairs[PHOTO]
        self.assertFalse(photo["identical"])
        self.assertEqual(photo["bbox"], [10, 20, 30, 40])
        self.assertEqual(photo["differing_pixels"], 30 * 40)
        self.assertEqual(photo["max_abs_diff"], [1, 1, 1])
        self.assertAlmostEqual(photo["differing_share"], 1200 / (451 * 300))
        self.assertAlmostEqual(photo["psnr_db"], 10 * __import__("math").log10(255 ** 2 * 451 * 300 / 1200), places=6)
        # The region clipped to the edge shapes: none of the 1x1, 75 x 49 cut at row 49.
        self.assertTrue(pairs["edge shape 1x1 (one pixel)"]["identical"])
        self.assertEqual(pairs["edge shape 75x49 (odd width, padded rows)"]["bbox"], [10, 20, 30, 29])

        process, _ = self.bench("--library", OURS, "--library", faulty("region"), "--runs", "3",
                                "--fail-if-different", PHOTO)
        self.assertEqual(process.returncode, 1)
        self.assertIn("--fail-if-different", process.stderr)

    def test_a_build_that_does_twice_the_work_fails_the_slowdown_gate(self):
        arguments = ["--library", OURS, "--library", faulty("slow"), PHOTO]
        process, results = self.timed("--max-slowdown", "1.3", *arguments)
        self.assertEqual(process.returncode, 1, process.stderr)
        photo = [p for p in results["pairs"] if p["picture"] == PHOTO][0]
        self.assertTrue(photo["identical"])
        self.assertGreater(photo["ratio"], 1.5)
        self.assertIn("--max-slowdown", process.stderr)
        process, _ = self.timed("--max-slowdown", "4", *arguments)
        self.assertEqual(process.returncode, 0, process.stderr)


class ExactFilter(BenchCase):
    def test_our_library_measures_as_the_library_own_accuracy_test_does(self):
        """The accuracy test holds every pixel of chelsea to the exact filter; the
        bench samples a lattice of the same photo. Both print a PSNR per strength."""
        accuracy = subprocess.run([os.environ["ACCURACY_TEST"], "--gtest_filter=Accuracy.ChelseaFullPicture"],
                                  capture_output=True, text=True, timeout=600)
        self.assertEqual(accuracy.returncode, 0, accuracy.stdout)
        match = re.search(r"chelsea\s+451x300\s+strength 5:\s+([\d.]+) dB\s+strength 10:\s+([\d.]+) dB",
                          accuracy.stdout)
        self.assertIsNotNone(match, accuracy.stdout)
        expected = {5: float(match.group(1)), 10: float(match.group(2))}
        process, results = self.bench("--library", OURS, "--reference", "--strength", "5,10", "--runs", "3", PHOTO)
        self.assertEqual(process.returncode, 0, process.stderr)
        for r in self.results(results, "A", edge_shape=False):
            self.assertLess(abs(r["reference_psnr_db"] - expected[r["strength"]]), 0.5, r)
            self.assertGreater(r["reference_max_error"], 0)
        # A build that is not the filter at all is far from it.
        process, results = self.bench("--library", faulty("padding"), "--reference", "--runs", "3", PHOTO)
        for r in self.results(results, "A", edge_shape=False):
            self.assertLess(r["reference_psnr_db"], 30)


class Documentation(BenchCase):
    def options_in(self, text):
        return set(re.findall(r"--[a-z][a-z-]+", text))

    def test_help_and_manual_page_list_every_option_the_program_takes(self):
        help_text = subprocess.run([BENCH, "--help"], capture_output=True, text=True).stdout
        listed = set(re.findall(r"^  (--[a-z-]+)", help_text, re.MULTILINE))
        with open(os.environ["MANUAL_PAGE"], encoding="utf-8") as f:
            manual = f.read()
        options_section = manual[manual.index(".SH OPTIONS"):manual.index(".SH OUTPUT")]
        in_manual = {name.replace("\\-", "-") for name in re.findall(r"^\.B[I]? (\\-\\-[a-z\\-]+)", options_section,
                                                                     re.MULTILINE)}
        self.assertGreater(len(listed), 10)
        self.assertEqual(listed, in_manual)
        for option in listed:
            process = subprocess.run([BENCH, option], capture_output=True, text=True)
            self.assertNotIn("unknown option", process.stderr, option)
        process = subprocess.run([BENCH, "--no-such-option"], capture_output=True, text=True)
        self.assertIn("unknown option", process.stderr)


class PageChecker(html.parser.HTMLParser):
    """Collects what a report must hold, and every way it could be malformed."""
    VOID = {"meta", "img", "br", "hr", "link", "input", "source", "col", "area", "base", "wbr", "track"}

    def __init__(self):
        super().__init__()
        self.open = []
        self.problems = []
        self.images = []
        self.svg = 0
        self.table_rows = 0
        self.cells = []
        self.texts = []
        self.in_cell = False

    def handle_starttag(self, tag, attrs):
        attrs = dict(attrs)
        for name in ("src", "href", "xlink:href", "action", "poster"):
            if name in attrs and not attrs[name].startswith(("data:", "#")):
                self.problems.append("%s %s=%s reaches outside the file" % (tag, name, attrs[name][:60]))
        if tag == "img":
            self.images.append(attrs)
        if tag == "svg":
            self.svg += 1
        if tag == "tr":
            self.table_rows += 1
        if tag == "td":
            self.in_cell = True
            self.cells.append("")
        if tag in ("script", "link", "iframe", "object", "embed"):
            self.problems.append("a report needs no <%s>" % tag)
        if tag not in self.VOID:
            self.open.append(tag)

    def handle_startendtag(self, tag, attrs):
        self.handle_starttag(tag, attrs)
        if tag not in self.VOID:
            self.open.pop()

    def handle_endtag(self, tag):
        if tag == "td":
            self.in_cell = False
        if not self.open or self.open[-1] != tag:
            self.problems.append("</%s> closes <%s>" % (tag, self.open[-1] if self.open else "nothing"))
        else:
            self.open.pop()

    def handle_data(self, data):
        self.texts.append(data)
        if self.in_cell:
            self.cells[-1] += data
        if "url(" in data and "url(data:" not in data:
            self.problems.append("a style fetches " + data[data.index("url("):][:60])


def check_page(path):
    with open(path, encoding="utf-8") as f:
        page = f.read()
    checker = PageChecker()
    checker.feed(page)
    checker.close()
    if checker.open:
        checker.problems.append("elements left open: %s" % checker.open)
    return checker


def png_size(data_url):
    prefix = "data:image/png;base64,"
    assert data_url.startswith(prefix), data_url[:40]
    png = base64.b64decode(data_url[len(prefix):], validate=True)
    assert png[:8] == b"\x89PNG\r\n\x1a\n" and png[12:16] == b"IHDR", "not a PNG"
    return int.from_bytes(png[16:20], "big"), int.from_bytes(png[20:24], "big")


class Reports(BenchCase):
    def report(self, *builds):
        path = os.path.join(self.folder, "report.html")
        # A name that JSON and HTML must both escape.
        odd = os.path.join(self.folder, 'odd "name" <&> \\ tab\t.png')
        shutil.copy(PHOTO, odd)
        arguments = [a for build in builds for a in ("--library", build)]
        process, results = self.bench(*arguments, "--report", path, "--strength", "2,8", "--runs", "3",
                                      odd, SMALL_PHOTO)
        self.assertEqual(process.returncode, 0, process.stderr)
        self.assertIn(odd, {r["picture"] for r in results["results"]})
        checker = check_page(path)
        self.assertEqual(checker.problems, [])
        self.assertIn(odd, checker.cells)
        return results, checker

    def test_a_report_is_one_wellformed_file_with_table_chart_and_regions(self):
        results, checker = self.report(OURS, faulty("region"))
        # Two tables, the photos' and the edge shapes', of one row per picture
        # and strength under a header row.
        self.assertEqual(checker.table_rows - len(results["builds"]), 2 + len(results["pairs"]))
        self.assertEqual(checker.svg, 1)
        # Source, A, B and the difference at 100 % and at 400 % for each photo.
        self.assertEqual(len(checker.images), 2 * 8)
        for image in checker.images:
            width, height = png_size(image["src"])
            scale = 4 if "400" in image["alt"] else 1
            self.assertEqual((int(image["width"]), int(image["height"])), (scale * width, scale * height))
        self.assertEqual({png_size(i["src"]) for i in checker.images}, {(128, 128), (32, 32)})

    def test_a_report_of_one_build_shows_what_the_filter_changes(self):
        results, checker = self.report(OURS)
        self.assertEqual(len(checker.images), 2 * 6, "source, A and the difference at two zooms, per photo")


class Progress(BenchCase):
    def test_a_terminal_sees_the_picture_count_and_the_time_left(self):
        import pty
        leader, follower = pty.openpty()
        process = subprocess.Popen([BENCH, "--runs", "3", SMALL_PHOTO, PHOTO], stdout=subprocess.PIPE,
                                   stderr=follower, text=True)
        os.close(follower)
        seen = b""
        while True:
            try:
                chunk = os.read(leader, 4096)
            except OSError:
                break
            if not chunk:
                break
            seen += chunk
        process.wait(timeout=300)
        os.close(leader)
        self.assertEqual(process.returncode, 0)
        text = seen.decode(errors="replace")
        self.assertIn("\r\x1b[K[1/2] " + SMALL_PHOTO, text)
        self.assertRegex(text, r"\[2/2\] .*chelsea.png, about \d+:\d\d left")
        self.assertIn("\r\x1b[K", text[text.rindex("[2/2]"):], "the progress line is cleared at the end")
        self.assertNotIn("\r", process.stdout.read(), "the table holds no progress")

    def test_without_a_terminal_there_is_no_progress_line(self):
        process, _ = self.bench("--runs", "3", SMALL_PHOTO)
        self.assertNotIn("\r", process.stderr)


class Browser(BenchCase):
    def test_the_report_renders_in_chromium_with_every_picture_and_nothing_fetched(self):
        chromium = shutil.which("chromium")
        self.assertIsNotNone(chromium, "chromium is missing: tools/install-deps.sh installs it")
        report = os.path.join(self.folder, "report.html")
        process, _ = self.bench("--library", OURS, "--library", faulty("region"), "--report", report,
                                "--runs", "3", PHOTO)
        self.assertEqual(process.returncode, 0, process.stderr)
        # The report in a frame of a page that reports, once everything has
        # loaded, every image's decoded size and every resource fetched (a
        # fetch that fails is listed too).
        probe = os.path.join(self.folder, "probe.html")
        with open(probe, "w", encoding="utf-8") as f:
            f.write("""<!DOCTYPE html><html><body><iframe id="r" src="report.html" width="1200" height="900"></iframe>
<pre id="out">waiting</pre><script>
window.addEventListener("load", () => {
  const d = document.getElementById("r").contentWindow;
  const images = [...d.document.images].map(i => [i.complete, i.naturalWidth, i.naturalHeight]);
  const fetched = d.performance.getEntriesByType("resource").map(e => e.name);
  const svg = d.document.querySelectorAll("svg rect").length;
  document.getElementById("out").textContent = "RESULT " + JSON.stringify({images, fetched, svg});
});
</script></body></html>""")
        profile = os.path.join(self.folder, "profile")
        rendered = subprocess.run(
            [chromium, "--headless", "--no-sandbox", "--disable-gpu", "--disable-background-networking",
             "--disable-component-update", "--disable-sync", "--no-first-run", "--disable-quic",
             "--user-data-dir=" + profile, "--allow-file-access-from-files",
             "--virtual-time-budget=10000", "--dump-dom", "file://" + probe],
            capture_output=True, text=True, timeout=180)
        match = re.search(r"RESULT (\{.*\})", rendered.stdout)
        self.assertIsNotNone(match, rendered.stdout[-2000:] + rendered.stderr[-2000:])
        seen = json.loads(match.group(1).replace("&quot;", '"'))
        self.assertEqual(len(seen["images"]), 8)
        for complete, width, height in seen["images"]:
            self.assertTrue(complete and width > 0 and height > 0, seen["images"])
        self.assertEqual(seen["fetched"], [])
        self.assertGreater(seen["svg"], 2)


if __name__ == "__main__":
    suite = sys.argv[1] if len(sys.argv) > 1 else None
    unittest.main(argv=[sys.argv[0]] + ([suite] if suite else []), verbosity=2)
