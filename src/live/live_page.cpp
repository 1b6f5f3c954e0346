#include "live/live_page.hpp"

#include <map>

#include <nlohmann/json.hpp>

#include "platform/files/path_name.hpp"
#include "scanfile/file_names.hpp"

namespace velscan::live {

namespace {

using Json = nlohmann::json;

// A JSON value that can stand inside a <script> element: every character
// outside ASCII escaped, and "<" too, so no "</script>" can appear.
std::string ScriptValue(const Json& value) {
    std::string text = value.dump(-1, ' ', true, Json::error_handler_t::replace);
    std::string safe;
    for (const char c : text) {
        if (c == '<') safe += "\\u003c";
        else safe += c;
    }
    return safe;
}

// A file beside the page, as a relative URL: its name, every byte that is
// not unreserved percent-encoded.
std::string RelativeUrl(const std::string& path) {
    const std::string name = files::NameOf(files::PathOf(path).filename());
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string url;
    for (const unsigned char c : name) {
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
                           c == '.' || c == '_' || c == '~';
        if (plain) {
            url += static_cast<char>(c);
        } else {
            url += '%';
            url += kHex[c >> 4];
            url += kHex[c & 15];
        }
    }
    return url;
}

constexpr const char* kPageHead = R"(<!DOCTYPE html>
<html lang="en">
<head>
<meta charset="utf-8">
<meta name="viewport" content="width=device-width, initial-scale=1">
<title>velscan live view</title>
<style>
body { margin: 0; padding: 12px 16px; background: #202020; color: #e0e0e0; font: 14px/1.5 sans-serif; }
h1 { font-size: 17px; margin: 0 0 6px; word-break: break-all; }
#state { font-weight: bold; }
.complete { color: #80e080; } .stopped { color: #e0c060; } .failed, .lost { color: #ff7070; }
h2 { font-size: 15px; margin: 12px 0 2px; }
.help { color: #a0a0a0; margin: 2px 0; }
#chart { background: #2c2c2c; display: block; max-width: 100%; }
#figures { border-collapse: collapse; margin-top: 6px; }
#figures th, #figures td { padding: 0 14px 0 0; text-align: right; }
#picture { display: block; max-width: 100%; margin-top: 10px; background: #000000; }
#links a { color: #80b0ff; margin-right: 16px; }
code { background: #333333; padding: 1px 4px; word-break: break-all; }
</style>
</head>
<body>
<h1 id="name">velscan live view</h1>
<p>Lines done: <span id="linesDone">0</span> of <span id="linesAsked">0</span>
&nbsp; Time left: <span id="timeLeft">-</span></p>
<p id="state">Waiting for the scan's news</p>
<p id="message"></p>
<p id="recovery" hidden>Recover the lines recorded: <code id="recoveryCommand"></code></p>
<p id="links" hidden><a id="finishedPicture" href="">Range picture</a><a id="finishedViewer" href="">Viewer</a></p>
<h2>The lines so far</h2>
<p class="help">Rows with a range along the scan, one bar per line (full height: every row):</p>
<canvas id="chart" width="600" height="60"></canvas>
<table id="figures"><thead><tr><th>Line</th><th>With range</th><th>Distance 5 %</th><th>Median</th>
<th>95 % (in)</th><th>Amplitude</th><th>Temp. (F)</th><th>Mirror turns/s</th></tr></thead>
<tbody id="figureRows"></tbody></table>
<img id="picture" alt="Range picture of the lines recorded so far" hidden>
<script>
"use strict";
)";

constexpr const char* kPageScript = R"(
var shownVersion = -1, ended = false, reloads = 0;
function setText(id, text) { document.getElementById(id).textContent = text; }
function timeText(seconds) {
  if (seconds === null || seconds === undefined) return "-";
  var s = Math.max(0, Math.round(seconds)), m = Math.floor(s / 60);
  return m > 0 ? m + " min " + (s % 60) + " s" : s + " s";
}
// Called by the data script, each time it is loaded.
function velscanLive(s) {
  setText("name", s.table);
  document.title = "velscan live view: " + s.table;
  setText("linesDone", s.linesDone);
  setText("linesAsked", s.linesAsked);
  setText("timeLeft", timeText(s.secondsLeft));
  var state = document.getElementById("state");
  state.textContent = s.stateText;
  state.className = s.state;
  setText("message", s.message);
  document.getElementById("recovery").hidden = !s.recovery;
  setText("recoveryCommand", s.recovery || "");
  var links = document.getElementById("links");
  links.hidden = !(s.finishedPicture || s.finishedViewer);
  document.getElementById("finishedPicture").hidden = !s.finishedPicture;
  document.getElementById("finishedViewer").hidden = !s.finishedViewer;
  if (s.finishedPicture) document.getElementById("finishedPicture").href = s.finishedPicture;
  if (s.finishedViewer) document.getElementById("finishedViewer").href = s.finishedViewer;
  if (s.picture && s.pictureVersion !== shownVersion) {
    shownVersion = s.pictureVersion;
    var img = document.getElementById("picture");
    img.src = s.picture + "?v=" + s.pictureVersion;
    img.hidden = false;
  }
  showFigures(s.figures || []);
  ended = s.ended;
}
// Each line's figures: [with range 0..1, distance 5 %, median, 95 %,
// mean amplitude, mean temperature, mirror turns per second]; null where
// not known. The chart shows every line, the table the last ten.
function number(value, digits) { return value === null ? "-" : value.toFixed(digits); }
function showFigures(lines) {
  var chart = document.getElementById("chart"), g = chart.getContext("2d");
  g.clearRect(0, 0, chart.width, chart.height);
  var width = Math.max(1, Math.floor(chart.width / Math.max(lines.length, 200)));
  for (var i = 0; i < lines.length; ++i) {
    var h = Math.round(lines[i][0] * chart.height);
    g.fillStyle = lines[i][0] < 0.5 ? "#ff7070" : "#80e080";
    g.fillRect(i * width, chart.height - h, width, h);
  }
  var rows = document.getElementById("figureRows");
  while (rows.firstChild) rows.removeChild(rows.firstChild);
  for (var k = Math.max(0, lines.length - 10); k < lines.length; ++k) {
    var f = lines[k], tr = document.createElement("tr");
    var cells = [String(k + 1), number(f[0] * 100, 1) + " %", number(f[1], 1), number(f[2], 1), number(f[3], 1),
                 number(f[4], 1), number(f[5], 1), number(f[6], 3)];
    for (var c = 0; c < cells.length; ++c) {
      var td = document.createElement("td");
      td.textContent = cells[c];
      tr.appendChild(td);
    }
    rows.appendChild(tr);
  }
}
// The script again, with a query string the browser has not seen, so it is
// read from the file again; the element goes once it has run.
function reload() {
  if (ended) return;
  var script = document.createElement("script");
  script.src = scriptUrl + "?n=" + (++reloads) + "-" + Date.now();
  script.onload = script.onerror = function () { script.remove(); };
  document.head.appendChild(script);
}
setInterval(reload, 1000);
</script>
)";

}  // namespace

std::string LivePageText(const std::string& table) {
    std::string page = kPageHead;
    page += "var scriptUrl = " + ScriptValue(RelativeUrl(LiveScriptName(table))) + ";\n";
    page += kPageScript;
    // The first state, read with the page itself.
    page += "<script src=\"" + RelativeUrl(LiveScriptName(table)) + "\"></script>\n</body>\n</html>\n";
    return page;
}

std::string LiveScriptText(const LiveState& state) {
    static const std::map<std::string, std::string> kStateText = {
        {"mirror", "Waiting for the mirror to reach its speed"},
        {"recording", "Recording"},
        {"complete", "The scan is complete"},
        {"stopped", "The scan was stopped"},
        {"failed", "The scan failed"},
        {"lost", "velscan ended without saying how the scan ended"},
    };
    const auto text = kStateText.find(state.state);
    const auto known = [](const std::optional<double>& value) { return value ? Json(*value) : Json(); };
    Json figures = Json::array();
    for (const LineFigures& line : state.figures) {
        figures.push_back(Json::array({line.withRange, known(line.distanceP5), known(line.distanceMedian),
                                       known(line.distanceP95), line.meanAmplitude, line.meanTemperature,
                                       known(line.mirrorTurnsPerSecond)}));
    }
    Json json = {
        {"table", state.table},
        {"linesDone", state.linesDone},
        {"linesAsked", state.linesAsked},
        {"secondsLeft", state.secondsLeft ? Json(*state.secondsLeft) : Json()},
        {"state", state.state},
        {"stateText", text != kStateText.end() ? text->second : state.state},
        {"message", state.message},
        {"picture", state.picture.empty() ? std::string() : RelativeUrl(state.picture)},
        {"pictureVersion", state.pictureVersion},
        {"finishedPicture", state.finishedPicture.empty() ? std::string() : RelativeUrl(state.finishedPicture)},
        {"finishedViewer", state.finishedViewer.empty() ? std::string() : RelativeUrl(state.finishedViewer)},
        {"recovery", state.recovery},
        {"ended", state.state != "mirror" && state.state != "recording"},
        {"figures", figures},
    };
    return "velscanLive(" + ScriptValue(json) + ");\n";
}

}  // namespace velscan::live
