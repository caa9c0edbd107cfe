#!/usr/bin/python3
"""Checks report.html in a real browser (headless Chromium through WebDriver).

  check_report.py check PSXDIG MKIMAGE WORK SCREENSHOT
      Makes a disc with the generator, plants hostile file names and a hostile
      volume id in its ISO, extracts it (--convert) and walks the page: rows,
      sorting, filters, the disc map, a sample's player, hostile names shown
      as text, no console errors; then again with JavaScript off.
  check_report.py bench PSXDIG WORK ITEMS
      Writes a listing of ITEMS items (once without sounds, once with a WAV
      for 4 in 10 items), lets psxdig report make its page, and prints the
      page's size and how long Chromium takes to make it usable.
"""
import json, os, shutil, subprocess, sys, tempfile, time, wave

from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By

IMG = "<img src=x onerror=window.__pwned=1>"
CLOSER = "</script><script>window.__pwned=1</script>"
# A name with bytes that are not UTF-8, quotes and an ampersand.
ODD = b"ODD\xff\xfe&\"'.SEQ"
VOLUME = b"</script><!--\"'&\xff"
failures = []


def fail(text):
    failures.append(text)
    print("FAIL:", text)


def check(ok, text):
    print(("ok   " if ok else "FAIL ") + text)
    if not ok:
        failures.append(text)


def make_disc(psxdig, mkimage, work):
    """The generator's disc with the convert set's sequences and banks (so that
    there is something to play and pair), and a copy of a sequence under each
    hostile name: genisoimage writes placeholder names of the same lengths,
    which are then replaced in the ISO's directory records."""
    disc = os.path.join(work, "disc")
    subprocess.run([mkimage, "disc-folder", disc], check=True)
    music = os.path.join(work, "music")
    os.makedirs(music)
    subprocess.run([mkimage, "convert-set", music], check=True)
    os.makedirs(os.path.join(disc, "MUSIC"))
    for name in ("song.seq", "multi.sep", "tone.vab", "split.vh", "split.vb"):
        shutil.copy(os.path.join(music, name), os.path.join(disc, "MUSIC", name.upper()))
    sequence = open(os.path.join(disc, "SOUND", "BGM.SEQ"), "rb").read()
    hostile = {IMG.encode(): b"P" * len(IMG), CLOSER.encode(): b"Q" * len(CLOSER), ODD: b"R" * len(ODD)}
    for placeholder in hostile.values():
        open(os.path.join(disc, placeholder.decode()), "wb").write(sequence)
    iso = os.path.join(work, "d.iso")
    volume = b"V" * len(VOLUME)
    subprocess.run(["genisoimage", "-quiet", "-V", volume.decode(), "-XA", "-iso-level", "4", "-o", iso, disc],
                   check=True)
    data = open(iso, "rb").read()
    for name, placeholder in list(hostile.items()) + [(VOLUME, volume)]:
        if data.count(placeholder) < 1:
            sys.exit(f"placeholder {placeholder!r} not in the ISO")
        data = data.replace(placeholder, name)
    open(iso, "wb").write(data)
    subprocess.run([mkimage, "disc-raw", iso, os.path.join(work, "d.bin")], check=True)
    subprocess.run([psxdig, "extract", "-q", "--convert", "-o", work, os.path.join(work, "d.cue")], check=True)
    return os.path.join(work, "d.cue.psxdig")


def browser(javascript=True):
    options = webdriver.ChromeOptions()
    options.binary_location = "/usr/bin/chromium"
    for arg in ("--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
                "--disable-background-networking", "--disable-component-update", "--disable-sync",
                "--autoplay-policy=no-user-gesture-required", "--window-size=1400,1000",
                "--user-data-dir=" + tempfile.mkdtemp(prefix="psxdig-chromium-")):
        options.add_argument(arg)
    options.set_capability("goog:loggingPrefs", {"browser": "ALL"})
    if not javascript:
        options.add_experimental_option("prefs", {"profile.managed_default_content_settings.javascript": 2})
    return webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)


def visible_rows(driver):
    return driver.execute_script(
        "return Array.prototype.filter.call(document.querySelectorAll('#items tbody tr'),"
        " function (r) { return !r.hidden; }).length;")


def column(driver, col):
    return driver.execute_script(
        "return Array.prototype.map.call(document.querySelectorAll('#items tbody tr'),"
        " function (r) { return r.cells[arguments[0]].textContent; });".replace("arguments[0]", str(col)))


def check_sorting_and_filters(driver, items):
    heads = driver.find_elements(By.CSS_SELECTOR, "#items thead th")
    size_col = [h.text.strip(" \u25b2\u25bc") for h in heads].index("Size")
    heads[size_col].click()
    sizes = [int(v) for v in column(driver, size_col)]
    check(sizes == sorted(sizes) and len(sizes) == len(items), f"sorting by size orders {len(sizes)} rows")
    heads[size_col].click()
    sizes = [int(v) for v in column(driver, size_col)]
    check(sizes == sorted(sizes, reverse=True), "a second click sorts the other way")
    path_col = 3
    heads[path_col].click()
    paths = [p.lower() for p in column(driver, path_col)]
    check(paths == sorted(paths), "sorting by disc path orders the text")

    driver.find_element(By.ID, "q").send_keys("ARCHIVE")
    shown = driver.execute_script(
        "return Array.prototype.filter.call(document.querySelectorAll('#items tbody tr'),"
        " function (r) { return !r.hidden; }).map(function (r) { return r.textContent; });")
    check(0 < len(shown) < len(items) and all("archive" in t.lower() for t in shown),
          f"the text filter 'ARCHIVE' shows {len(shown)} of {len(items)} rows, each holding it")
    driver.execute_script("var q = document.getElementById('q'); q.value = '';"
                          " q.dispatchEvent(new Event('input'));")
    check(visible_rows(driver) == len(items), "clearing the filter shows every row again")
    boxes = driver.find_elements(By.CSS_SELECTOR, "#controls input[type=checkbox]")
    first_kind = boxes[0].get_attribute("value")
    boxes[0].click()
    hidden = driver.execute_script(
        "return document.querySelectorAll('#items tbody tr.' + arguments[0]).length;", first_kind)
    check(visible_rows(driver) == len(items) - hidden and hidden > 0,
          f"unticking a kind hides its {hidden} rows")
    boxes[0].click()


def check_map(driver):
    """Clicks the mark whose row lies lowest in the table and is not covered,
    in a window too low to show that row at first."""
    driver.set_window_size(1400, 500)
    driver.execute_script("window.scrollTo(0, 0);")
    target = driver.execute_script("""
        var marks = Array.prototype.slice.call(document.querySelectorAll('#map a'));
        for (var k = marks.length - 1; k >= 0; --k) {
          var r = marks[k].firstChild.getBoundingClientRect();
          var hit = document.elementFromPoint(r.left + r.width / 2, r.top + r.height / 2);
          if (hit && marks[k].contains(hit)) return marks[k].getAttribute('href').slice(1);
        }
        return null;""")
    if not target:
        return fail("no map mark can be clicked")
    before = driver.execute_script(
        "return document.getElementById(arguments[0]).getBoundingClientRect().top;", target)
    driver.find_element(By.CSS_SELECTOR, f'#map a[href="#{target}"]').click()
    time.sleep(0.3)
    top, bottom, height, head = driver.execute_script(
        "var r = document.getElementById(arguments[0]).getBoundingClientRect();"
        "return [r.top, r.bottom, window.innerHeight,"
        " document.querySelector('#items thead').getBoundingClientRect().bottom];", target)
    check(before > height and head <= top and bottom <= height,
          f"clicking the map mark of row {target} brings it into view below the table's head"
          f" (top {before:.0f} -> {top:.0f}, head ends at {head:.0f})")
    hidden = driver.execute_script("""
        var row = document.getElementById(arguments[0]);
        var box = document.querySelector('#controls input[value=' + row.classList[0] + ']');
        box.click();
        var hidden = row.hidden;
        box.click();
        return hidden && !row.hidden;""", target)
    check(hidden, f"the kind filter hides and shows row {target}, highlighted by the map, too")
    driver.set_window_size(1400, 1000)


def check_audio(driver, folder, items):
    """The longest sample WAV of a bank: its player loads it whole and plays."""
    wavs = [f for i in items if i.get("kind") == "header" for f in i.get("converted", []) if f.endswith(".wav")]
    if not wavs:
        return fail("no sample WAV in the listing")

    def seconds(name):
        with wave.open(os.path.join(folder, name)) as w:
            return w.getnframes() / w.getframerate()
    name = max(wavs, key=seconds)
    length = seconds(name)
    audio = driver.find_element(By.CSS_SELECTOR, f'audio[src="{name}"]')
    duration = driver.execute_async_script("""
        var a = arguments[0], done = arguments[1];
        a.addEventListener('loadedmetadata', function () { done(a.duration); });
        a.addEventListener('error', function () { done(-1); });
        a.preload = 'auto'; a.load();""", audio)
    check(abs(duration - length) < 0.002, f"{name}: the player's duration {duration:.4f} s, the WAV's {length:.4f} s")
    played = driver.execute_async_script("""
        var a = arguments[0], done = arguments[1];
        a.play().then(function () {
          setTimeout(function () { done(a.currentTime > 0 ? a.currentTime : -1); }, 100);
        }, function (e) { done(String(e)); });""", audio)
    check(isinstance(played, (int, float)) and played > 0, f"{name} plays (currentTime {played})")


def check_hostile(driver):
    text = driver.find_element(By.TAG_NAME, "body").text
    odd = ODD.decode("utf-8", "replace")
    for name in (IMG, CLOSER.replace("/", "_"), odd, VOLUME.decode("utf-8", "replace")):
        check(name in text, f"the hostile name {name!r} is shown as text")
    counts = driver.execute_script(
        "return [window.__pwned === undefined, document.images.length, document.scripts.length];")
    check(counts == [True, 0, 1], f"no script from a name ran, no image or script element came in ({counts})")


def check_page(folder, screenshot):
    listing = json.load(open(os.path.join(folder, "listing.json"), encoding="utf-8"))
    items = listing["items"]
    url = "file://" + os.path.abspath(os.path.join(folder, "report.html"))
    driver = browser()
    try:
        driver.get(url)
        rows = driver.find_elements(By.CSS_SELECTOR, "#items tbody tr")
        check(len(rows) == len(items), f"{len(rows)} rows for {len(items)} items in the listing")
        check_hostile(driver)
        check_sorting_and_filters(driver, items)
        check_map(driver)
        check_audio(driver, folder, items)
        driver.execute_script("window.scrollTo(0, 0);")
        driver.save_screenshot(screenshot)
        errors = [e for e in driver.get_log("browser") if e["level"] in ("SEVERE", "WARNING")]
        check(not errors, f"no console errors or warnings {errors}")
    finally:
        driver.quit()
    driver = browser(javascript=False)
    try:
        driver.get(url)
        rows = driver.find_elements(By.CSS_SELECTOR, "#items tbody tr")
        links = driver.find_elements(By.CSS_SELECTOR, "#items tbody td:nth-child(3) a[href]")
        outputs = sum(1 for i in items if i.get("output"))
        check(len(rows) == len(items) and len(links) == outputs,
              f"without JavaScript: {len(rows)} rows, {len(links)} output links ({outputs} outputs)")
        made = driver.find_elements(By.CSS_SELECTOR, 'a[href$=".mid"], a[href$=".sf2"]')
        check(len(made) > 0, f"without JavaScript: {len(made)} links to MIDI and SoundFont files")
        check(not driver.find_element(By.ID, "controls").is_displayed(), "without JavaScript the filters are hidden")
    finally:
        driver.quit()


def cpu_seconds(root):
    """User and system time of a process and all its descendants (Linux)."""
    parent, times = {}, {}
    for pid in filter(str.isdigit, os.listdir("/proc")):
        try:
            stat = open(f"/proc/{pid}/stat").read()
        except OSError:
            continue
        fields = stat[stat.rindex(")") + 2:].split()
        parent[int(pid)] = int(fields[1])
        times[int(pid)] = int(fields[11]) + int(fields[12])
    total, todo = 0, [root]
    while todo:
        pid = todo.pop()
        total += times.get(pid, 0)
        todo += [child for child, up in parent.items() if up == pid]
    return total / os.sysconf("SC_CLK_TCK")


def bench(psxdig, work, count, sounds):
    """A listing of `count` items over a disc of 2000 files (with `sounds`,
    two in five of them WAV streams and samples), its page, and the time
    Chromium takes until the page's script has run."""
    folder = os.path.join(work, "bench.psxdig")
    os.makedirs(folder, exist_ok=True)
    kinds = [("sequence", ".seq"), ("header", ".vh"), ("body", ".vb"), ("sample", ".vag"), ("xa", ".xa")]
    if sounds:
        kinds[3:] = [("sample", ".wav"), ("xa", ".wav")]
    files = [{"discPath": f"DATA/FILE{k:04d}.BIN", "imageOffset": 0x9930 + k * 0x40000, "size": 0x3F000}
             for k in range(2000)]
    items = []
    for k in range(count):
        kind, ext = kinds[k % len(kinds)]
        f = files[k * len(files) // count]
        ofs = (k * 4096) % 0x3F000
        items.append({"kind": kind, "ext": ext, "index": k, "output": f"{f['discPath']}@{ofs:x}{ext}",
                      "discPath": f["discPath"], "offsetInFile": ofs, "imageOffset": f["imageOffset"] + ofs,
                      "size": 1000 + k % 5000, "duplicateOf": None,
                      "header": f"{f['discPath']}@{ofs - 4096:x}.vh" if kind == "body" else None})
    listing = {"tool": "psxdig", "input": "bench.bin", "imageKind": "raw2352", "volumeId": "BENCH",
               "imageSize": 0x9930 + 2000 * 0x40000, "files": files, "items": items}
    json.dump(listing, open(os.path.join(folder, "listing.json"), "w"))
    start = time.perf_counter()
    subprocess.run([psxdig, "report", folder], check=True)
    written = time.perf_counter() - start
    page = os.path.join(folder, "report.html")
    driver = browser()
    try:
        times, cpu = [], []
        for _ in range(5):
            start, used = time.perf_counter(), cpu_seconds(driver.service.process.pid)
            driver.get("file://" + os.path.abspath(page))
            driver.execute_script("return document.getElementById('controls').hidden;")
            times.append(time.perf_counter() - start)
            cpu.append(cpu_seconds(driver.service.process.pid) - used)
        timing = driver.execute_script(
            "var t = performance.timing; return [t.domContentLoadedEventEnd - t.navigationStart,"
            " t.loadEventEnd - t.navigationStart];")
        start = time.perf_counter()
        driver.execute_script("document.querySelectorAll('#items thead th')[6].click();")
        sort = time.perf_counter() - start
        start = time.perf_counter()
        driver.execute_script("var q = document.getElementById('q'); q.value = 'file0999';"
                              " q.dispatchEvent(new Event('input'));")
        filt = time.perf_counter() - start
    finally:
        driver.quit()
    print(f"{count} items{' (4 in 10 with a sound)' if sounds else ''}: report.html {os.path.getsize(page) / 1e6:.2f} MB, written in {written:.2f} s;"
          f" Chromium: opened and usable in {min(times):.2f} s (best of 5, median {sorted(times)[2]:.2f} s;"
          f" Chromium's CPU time {min(cpu):.2f} s; DOMContentLoaded {timing[0]} ms, load {timing[1]} ms);"
          f" sorting by size {sort * 1000:.0f} ms, filtering {filt * 1000:.0f} ms;"
          f" load average {os.getloadavg()[0]:.1f} on {os.cpu_count()} cores")


def main():
    if len(sys.argv) == 6 and sys.argv[1] == "check":
        psxdig, mkimage, work, screenshot = sys.argv[2:]
        check_page(make_disc(psxdig, mkimage, work), screenshot)
        print(f"screenshot: {screenshot}")
        sys.exit(1 if failures else 0)
    if len(sys.argv) == 5 and sys.argv[1] == "bench":
        for sounds in (False, True):
            bench(sys.argv[2], os.path.join(sys.argv[3], str(sounds)), int(sys.argv[4]), sounds)
        return
    sys.exit(__doc__)


if __name__ == "__main__":
    main()
