// The fixed parts of report.html: its style sheet and its script. The script
// reads everything it needs from the page itself (no data is embedded in
// it): it sorts the table by a clicked column, filters rows by text and by
// kind, shows the row of a clicked map mark, names marks on hover, makes the
// players of a large folder as they come into view and lets one sound play
// at a time.
#pragma once

namespace psxdig::report {

inline constexpr const char* kPageStyle = R"CSS(
:root{--ink:#1a202c;--dim:#5a6473;--line:#d5dae1;--band0:#dfe4ea;--band1:#c3ccd6}
*{box-sizing:border-box}
body{margin:0;font:14px/1.4 system-ui,-apple-system,"Segoe UI",sans-serif;color:var(--ink);background:#f7f8fa}
header,section{padding:.6em 1.2em}
header{background:#fff;border-bottom:1px solid var(--line)}
h1{font-size:1.35em;margin:.1em 0 .4em;word-break:break-all}
h2{font-size:1.1em;margin:.4em 0}
h3{font-size:1em;margin:.2em 0;word-break:break-all}
dl.facts{display:grid;grid-template-columns:max-content 1fr;gap:.1em 1em;margin:0}
dl.facts dt{color:var(--dim)}dl.facts dd{margin:0;word-break:break-all}
.sw{display:inline-block;width:.8em;height:.8em;border-radius:2px;background:var(--c);vertical-align:-.05em;margin-right:.25em}
.kinds span{margin-right:1em;white-space:nowrap}
.bad{color:#b00020}
svg.map{display:block;width:100%;background:#fff;border:1px solid var(--line)}
svg.map .f0{fill:var(--band0)}svg.map .f1{fill:var(--band1)}
svg.map a rect{fill:var(--c);stroke:var(--c);stroke-width:2px;vector-effect:non-scaling-stroke}
svg.map a:hover rect,svg.map a:focus rect{stroke:#000}
.scale{display:flex;justify-content:space-between;color:var(--dim);font-size:.85em}
#controls{position:sticky;top:0;z-index:2;background:#f7f8fa;padding:.4em 1.2em;border-bottom:1px solid var(--line)}
#controls input[type=search]{width:22em;max-width:100%;padding:.25em .4em}
#controls label{margin-left:.8em;white-space:nowrap}
#shown{margin-left:1em;color:var(--dim)}
/* The table is laid out as rows of fixed columns, not by the table
   algorithm, and rows off screen are not laid out until scrolled to:
   ten thousand rows open in a fraction of the time. */
#items{display:block;background:#fff;font-size:13px;width:100%;min-width:1050px}
#items thead{display:block;position:sticky;top:0;z-index:1;background:#edf0f4}
#controls:not([hidden])~section #items thead{top:2.4em}
#items tbody{display:block}
#items tr{display:flex;border-bottom:1px solid var(--line)}
#items tbody tr{content-visibility:auto;contain-intrinsic-size:auto 2.6em}
#items tr[hidden]{display:none}
th,td{flex:2 1 0;min-width:0;padding:.2em .45em;text-align:left;overflow-wrap:anywhere}
th{cursor:pointer;user-select:none;overflow-wrap:normal}
th[aria-sort=ascending]::after{content:" \25B2"}th[aria-sort=descending]::after{content:" \25BC"}
th:nth-child(1),td:nth-child(1){flex:0 0 4em}
th:nth-child(2),td:nth-child(2){flex:0 0 6.5em}
th:nth-child(3),td:nth-child(3){flex-grow:3}
th:nth-child(5),td:nth-child(5),th:nth-child(6),td:nth-child(6){flex:0 0 6.5em}
th:nth-child(7),td:nth-child(7){flex:0 0 5.5em}
td:nth-child(1),td:nth-child(5),td:nth-child(6),td:nth-child(7){text-align:right;font-variant-numeric:tabular-nums}
td:nth-child(2){border-left:5px solid var(--c)}
td small{color:var(--dim)}
tr{scroll-margin-top:7em}
.grp,#sounds{scroll-margin-top:3em}
tr:target,tr.hit{background:#fff3b0}
.err{color:#b00020}
.grp{content-visibility:auto;contain-intrinsic-size:auto 9em;background:#fff;border:1px solid var(--line);border-left:5px solid var(--c);margin:.5em 0;padding:.3em .6em}
.grp:target{background:#fff8d0}
.snd{display:flex;flex-wrap:wrap;gap:.5em}
figure{margin:0;padding:.3em;border:1px solid var(--line);border-radius:4px;width:252px}
figcaption{font-size:.85em;word-break:break-all}
svg.wave{display:block;width:240px;height:40px;background:#f3f5f8}
svg.wave path{stroke:#2b6cb0;stroke-width:1px;vector-effect:non-scaling-stroke;fill:none}
audio{width:240px;height:32px}
a.play{display:block;padding:.3em 0}
footer{padding:1em 1.2em;color:var(--dim);font-size:.85em}
)CSS";

inline constexpr const char* kPageScript = R"JS(
(function () {
  "use strict";
  var table = document.getElementById("items");
  if (!table) return;
  var body = table.tBodies[0];
  var rows = Array.prototype.slice.call(body.rows);
  var heads = table.tHead.rows[0].cells;
  var query = document.getElementById("q");
  var boxes = Array.prototype.slice.call(document.querySelectorAll("#controls input[type=checkbox]"));
  var shown = document.getElementById("shown");
  document.getElementById("controls").hidden = false;

  function key(row, col, type) {
    var text = row.cells[col].textContent;
    if (type === "n") return text === "" ? -1 : Number(text);
    if (type === "x") return text === "" ? -1 : parseInt(text, 16);
    return text.toLowerCase();
  }
  var sorted = -1, direction = 1;
  function sortBy(col) {
    direction = col === sorted ? -direction : 1;
    sorted = col;
    var type = heads[col].getAttribute("data-t");
    var keyed = rows.map(function (row, at) { return [key(row, col, type), at, row]; });
    keyed.sort(function (a, b) {
      return a[0] < b[0] ? -direction : a[0] > b[0] ? direction : a[1] - b[1];
    });
    var fragment = document.createDocumentFragment();
    keyed.forEach(function (k) { fragment.appendChild(k[2]); });
    body.appendChild(fragment);
    for (var c = 0; c < heads.length; ++c) heads[c].removeAttribute("aria-sort");
    heads[col].setAttribute("aria-sort", direction > 0 ? "ascending" : "descending");
  }
  Array.prototype.forEach.call(heads, function (th, col) {
    th.tabIndex = 0;
    th.addEventListener("click", function () { sortBy(col); });
    th.addEventListener("keydown", function (e) { if (e.key === "Enter") sortBy(col); });
  });

  function applyFilter() {
    var text = query.value.trim().toLowerCase();
    var off = {};
    boxes.forEach(function (b) { if (!b.checked) off[b.value] = true; });
    var count = 0;
    rows.forEach(function (row) {
      if (row.searchText === undefined) row.searchText = row.textContent.toLowerCase();
      var show = !off[row.classList[0]] && (text === "" || row.searchText.indexOf(text) >= 0);
      row.hidden = !show;
      if (show) ++count;
    });
    shown.textContent = count + " of " + rows.length + " items shown";
  }
  query.addEventListener("input", applyFilter);
  boxes.forEach(function (b) { b.addEventListener("change", applyFilter); });
  applyFilter();

  function rowOf(link) {
    var href = link && link.getAttribute("href");
    return href && href.charAt(0) === "#" ? document.getElementById(href.slice(1)) : null;
  }
  var map = document.getElementById("map");
  if (map) {
    map.addEventListener("click", function (e) {
      var row = rowOf(e.target.closest("a"));
      if (!row) return;
      if (row.hidden) {
        query.value = "";
        boxes.forEach(function (b) { b.checked = true; });
        applyFilter();
      }
      rows.forEach(function (r) { r.classList.remove("hit"); });
      row.classList.add("hit");
    });
    map.addEventListener("mouseover", function (e) {
      var link = e.target.closest("a");
      var row = rowOf(link);
      if (!row || link.querySelector("title")) return;
      var title = document.createElementNS("http://www.w3.org/2000/svg", "title");
      title.textContent = row.cells[1].textContent + " " + (row.cells[2].textContent || row.cells[7].textContent) +
          (row.cells[3].textContent ? "\n" + row.cells[3].textContent + " @ " + row.cells[4].textContent : "");
      link.firstChild.appendChild(title);
    });
  }
  // Players of large folders: made when their group comes into view, or clicked.
  function player(link) {
    var audio = document.createElement("audio");
    audio.controls = true;
    audio.preload = "none";
    audio.src = link.getAttribute("href");
    link.parentNode.replaceChild(audio, link);
    return audio;
  }
  if (document.querySelector("a.play")) {
    var seen = window.IntersectionObserver && new IntersectionObserver(function (entries) {
      entries.forEach(function (e) {
        if (!e.isIntersecting) return;
        seen.unobserve(e.target);
        Array.prototype.slice.call(e.target.querySelectorAll("a.play")).forEach(player);
      });
    }, {rootMargin: "600px"});
    Array.prototype.forEach.call(document.querySelectorAll(".grp"), function (g) {
      if (seen && g.querySelector("a.play")) seen.observe(g);
    });
    document.addEventListener("click", function (e) {
      var link = e.target.closest && e.target.closest("a.play");
      if (!link) return;
      e.preventDefault();
      player(link).play();
    });
  }
  document.addEventListener("play", function (e) {
    Array.prototype.forEach.call(document.getElementsByTagName("audio"), function (a) {
      if (a !== e.target) a.pause();
    });
  }, true);
})();
)JS";

}  // namespace psxdig::report
