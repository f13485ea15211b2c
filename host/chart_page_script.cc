#include "host/chart_page_script.h"

namespace nsthost {

// Draws each <div class="live-chart"> from the bars in its JSON block: the
// latest bars at a readable width, mouse wheel and +/- to zoom, dragging and
// the arrow keys to scroll, Home and End for the first and latest bars, a
// crosshair with the bar's values. "#chart-N&zoom=Z&hover=X,Y" in the
// address opens chart N zoomed by Z with the crosshair at X,Y.
const char kChartPageScript[] = R"js(
(function () {
  'use strict';
  var kUnixEpoch = 2209161600;  // seconds from 30 December 1899 to 1970
  var W = 960, H = 440, L = 8, R = 880, PT = 12, PB = 322, VT = 332, VB = 402;
  function pad(n) { return (n < 10 ? '0' : '') + n; }
  function dateText(s) {
    var d = new Date((s - kUnixEpoch) * 1000);
    return d.getUTCFullYear() + '-' + pad(d.getUTCMonth() + 1) + '-' + pad(d.getUTCDate());
  }
  function timeText(s) {
    var d = new Date((s - kUnixEpoch) * 1000);
    var t = pad(d.getUTCHours()) + ':' + pad(d.getUTCMinutes());
    return d.getUTCSeconds() ? t + ':' + pad(d.getUTCSeconds()) : t;
  }
  function num(v) { return v === null ? '-' : String(+v.toPrecision(8)); }
  function niceTicks(lo, hi, count) {
    var raw = (hi - lo) / count, p = Math.pow(10, Math.floor(Math.log10(raw))), step = 10 * p;
    [1, 2, 2.5, 5].some(function (m) { if (m * p >= raw) { step = m * p; return true; } return false; });
    var out = [];
    for (var v = Math.ceil(lo / step) * step; v <= hi; v += step) { out.push(v); }
    return { ticks: out, step: step };
  }

  function Chart(root) {
    var d = JSON.parse(root.querySelector('script').textContent);
    var n = d.c.length, t = new Array(n), at = 0, i;
    for (i = 0; i < n; ++i) { at += d.t[i]; t[i] = at; }
    var intraday = d.p < 86400;
    var canvas = root.querySelector('canvas'), info = root.querySelector('.readout');
    var ratio = window.devicePixelRatio || 1;
    canvas.width = W * ratio; canvas.height = H * ratio;
    var g = canvas.getContext('2d');
    g.scale(ratio, ratio);
    var slot = 8, end = n, hover = -1, hoverY = 0, drag = null;
    var minSlot = Math.min(8, (R - L) / Math.max(n, 1));

    function columns() { return (R - L) / slot; }
    function clampView() {
      slot = Math.max(minSlot, Math.min(40, slot));
      end = Math.max(Math.min(n, columns()), Math.min(n, end));
    }
    function x(i) { return R - (end - i) * slot; }
    function barAt(px) { var i = Math.floor(end - (R - px) / slot); return i >= 0 && i < n ? i : -1; }

    function draw() {
      var first = Math.max(0, Math.floor(end - columns())), last = Math.min(n, Math.ceil(end));
      var lo = Infinity, hi = -Infinity, vmax = 0;
      for (i = first; i < last; ++i) {
        if (d.l[i] !== null && d.l[i] < lo) { lo = d.l[i]; }
        if (d.h[i] !== null && d.h[i] > hi) { hi = d.h[i]; }
        if (d.v[i] !== null && !(d.k[i] & 4) && d.v[i] > vmax) { vmax = d.v[i]; }
      }
      g.fillStyle = '#fff'; g.fillRect(0, 0, W, H);
      if (!(lo <= hi)) { return; }
      var pad5 = Math.max((hi - lo) * 0.05, Math.abs(hi) * 0.002, 1e-6);
      lo -= pad5; hi += pad5;
      function y(v) { return PB - (v - lo) / (hi - lo) * (PB - PT); }
      function vy(v) { return VB - v / (vmax || 1) * (VB - VT); }
      function clip() { g.save(); g.beginPath(); g.rect(L, 0, R - L, H); g.clip(); }
      // Streamed and gap-filled bars lie on coloured columns.
      clip();
      for (i = first; i < last; ++i) {
        if (d.k[i] & 3) {
          g.fillStyle = d.k[i] & 2 ? '#dcebff' : '#fff1cc';
          g.fillRect(Math.floor(x(i)), PT, Math.max(1, Math.ceil(slot)), VB - PT);
        }
      }
      g.restore();
      g.font = '11px DejaVu Sans, sans-serif';
      var ticks = niceTicks(lo, hi, 7);
      g.strokeStyle = '#e8e8e8'; g.fillStyle = '#333'; g.lineWidth = 1;
      ticks.ticks.forEach(function (v) {
        g.beginPath(); g.moveTo(L, Math.round(y(v)) + 0.5); g.lineTo(R, Math.round(y(v)) + 0.5); g.stroke();
        g.fillText(num(+v.toFixed(10)), R + 6, y(v) + 4);
      });
      // Time labels at least 90 pixels apart; a new day gets its date.
      var every = Math.max(1, Math.ceil(90 / slot)), previousDay = null;
      for (i = first - first % every; i < last; i += every) {
        var day = dateText(t[i]), px = x(i) + slot / 2;
        if (i < first || px < L + 20) { continue; }
        var label = intraday && day === previousDay ? timeText(t[i]) : day;
        previousDay = day;
        g.strokeStyle = '#e8e8e8';
        g.beginPath(); g.moveTo(Math.round(px) + 0.5, PT); g.lineTo(Math.round(px) + 0.5, VB); g.stroke();
        g.fillStyle = '#333'; g.fillText(label, Math.min(px - 20, R - 70), VB + 16);
      }
      // Each stretch of gap-filled bars is named where it starts (or enters
      // the view), over the grid, unless a name stands close before it.
      clip();
      g.fillStyle = '#1f5fa8';
      var named = -Infinity;
      for (i = first; i < last; ++i) {
        if ((d.k[i] & 2) && (i === first || !(d.k[i - 1] & 2)) && Math.max(x(i), L) - named >= 80) {
          named = Math.max(x(i), L);
          // Near the right end the name goes left of the band, pointing at it.
          if (named > R - 70) { g.textAlign = 'right'; g.fillText('gap filled \u2192', named - 3, PT + 24); g.textAlign = 'left'; }
          else { g.fillText('gap filled', named + 3, PT + 24); }
        }
      }
      g.restore();
      // Bars: candles from 3 pixels on, else one line per pixel column
      // from the column's lowest low to its highest high.
      clip();
      var candles = slot >= 3, body = Math.max(1, Math.floor(slot * 0.7));
      var column = -1, colHigh, colLow, colOpen, colClose, colVolume;
      function flush() {
        if (column < 0) { return; }
        g.strokeStyle = g.fillStyle = d.p === 0 ? '#1f5fa8' : (colClose >= colOpen ? '#1a9850' : '#d73027');
        g.beginPath(); g.moveTo(column + 0.5, y(colHigh)); g.lineTo(column + 0.5, y(colLow) + 1); g.stroke();
        g.globalAlpha = 0.5; g.fillRect(column, vy(colVolume), 1, VB - vy(colVolume)); g.globalAlpha = 1;
      }
      for (i = first; i < last; ++i) {
        if (d.h[i] === null || d.l[i] === null) { continue; }
        var open = d.o[i] === null ? d.c[i] : d.o[i], close = d.c[i] === null ? open : d.c[i];
        var volume = d.k[i] & 4 ? 0 : (d.v[i] || 0);
        if (!candles) {
          var c = Math.floor(x(i));
          if (c !== column) {
            flush();
            column = c; colHigh = d.h[i]; colLow = d.l[i]; colOpen = open; colVolume = 0;
          }
          colHigh = Math.max(colHigh, d.h[i]); colLow = Math.min(colLow, d.l[i]);
          colClose = close; colVolume = Math.max(colVolume, volume);
          continue;
        }
        var centre = Math.round(x(i) + slot / 2) + 0.5;
        if (d.p === 0) {
          // A tick is a dot, a quote a smaller grey one.
          g.fillStyle = d.k[i] & 4 ? '#b0b0b0' : '#1f5fa8';
          g.beginPath(); g.arc(centre, y(d.c[i]), Math.min(4, slot * 0.4) * (d.k[i] & 4 ? 0.6 : 1), 0, 7); g.fill();
          if (!(d.k[i] & 4)) { g.globalAlpha = 0.5; g.fillRect(Math.round(centre - body / 2), vy(volume), body, VB - vy(volume)); g.globalAlpha = 1; }
          continue;
        }
        g.strokeStyle = g.fillStyle = d.k[i] & 4 ? '#b0b0b0' : (close >= open ? '#1a9850' : '#d73027');
        g.beginPath(); g.moveTo(centre, y(d.h[i])); g.lineTo(centre, y(d.l[i])); g.stroke();
        var top = Math.min(y(open), y(close));
        g.fillRect(Math.round(centre - body / 2), top, body, Math.max(1, Math.abs(y(open) - y(close))));
        g.globalAlpha = 0.5; g.fillRect(Math.round(centre - body / 2), vy(volume), body, VB - vy(volume));
        g.globalAlpha = 1;
      }
      flush();
      g.restore();
      g.strokeStyle = '#888';
      g.strokeRect(L + 0.5, PT + 0.5, R - L, PB - PT); g.strokeRect(L + 0.5, VT + 0.5, R - L, VB - VT);
      // The last price.
      for (i = n - 1; i >= 0 && (d.c[i] === null || d.k[i] & 4); --i) {}
      if (i >= 0) {
        var ly = Math.round(y(d.c[i])) + 0.5;
        g.setLineDash([3, 3]); g.strokeStyle = '#444';
        g.beginPath(); g.moveTo(L, ly); g.lineTo(R, ly); g.stroke(); g.setLineDash([]);
        g.fillStyle = '#333'; g.fillRect(R + 2, ly - 8, 64, 16);
        g.fillStyle = '#fff'; g.fillText(num(d.c[i]), R + 5, ly + 4);
      }
      if (hover >= first && hover < last) {
        var hx = Math.round(x(hover) + slot / 2) + 0.5;
        g.strokeStyle = '#555'; g.setLineDash([4, 3]);
        g.beginPath(); g.moveTo(hx, PT); g.lineTo(hx, VB); g.stroke();
        if (hoverY > PT && hoverY < PB) {
          g.beginPath(); g.moveTo(L, hoverY + 0.5); g.lineTo(R, hoverY + 0.5); g.stroke();
          g.fillStyle = '#1f5fa8'; g.fillRect(R + 2, hoverY - 8, 64, 16);
          g.fillStyle = '#fff'; g.fillText(num(+(lo + (PB - hoverY) / (PB - PT) * (hi - lo)).toPrecision(6)), R + 5, hoverY + 4);
        }
        g.setLineDash([]);
        var when = dateText(t[hover]) + (d.p < 86400 ? ' ' + timeText(t[hover]) : '');
        g.fillStyle = '#1f5fa8'; g.fillRect(Math.min(hx - 60, R - 120), VB + 4, 120, 16);
        g.fillStyle = '#fff'; g.fillText(when, Math.min(hx - 56, R - 116), VB + 16);
        var kind = (d.k[hover] & 2) ? '  gap filled' : ((d.k[hover] & 1) ? '  streamed' : '');
        info.textContent = d.p === 0
          ? when + '  ' + (d.k[hover] & 4 ? 'quote ' : 'trade ') + num(d.c[hover]) + '  V ' + num(d.v[hover]) + kind
          : when + '  O ' + num(d.o[hover]) + '  H ' + num(d.h[hover]) + '  L ' + num(d.l[hover]) +
            '  C ' + num(d.c[hover]) + '  V ' + num(d.v[hover]) + kind;
      } else {
        info.textContent = 'Wheel or +/- to zoom, drag or arrow keys to scroll, Home and End for the first and latest bars.';
      }
    }

    function zoom(factor, px) {
      var anchor = end - (R - px) / slot;
      slot *= factor; clampView();
      end = anchor + (R - px) / slot; clampView(); draw();
    }
    function position(e) {
      var box = canvas.getBoundingClientRect();
      return { x: (e.clientX - box.left) * W / box.width, y: (e.clientY - box.top) * H / box.height };
    }
    canvas.addEventListener('wheel', function (e) {
      e.preventDefault(); zoom(e.deltaY < 0 ? 1.25 : 0.8, Math.min(R, position(e).x));
    });
    canvas.addEventListener('mousedown', function (e) { drag = { x: position(e).x, end: end }; });
    window.addEventListener('mouseup', function () { drag = null; });
    canvas.addEventListener('mousemove', function (e) {
      var p = position(e);
      if (drag) { end = drag.end + (drag.x - p.x) / slot; clampView(); }
      hover = barAt(p.x); hoverY = p.y; draw();
    });
    canvas.addEventListener('mouseleave', function () { hover = -1; draw(); });
    canvas.addEventListener('keydown', function (e) {
      var step = Math.max(1, columns() * 0.1);
      if (e.key === 'ArrowLeft') { end -= step; } else if (e.key === 'ArrowRight') { end += step; }
      else if (e.key === '+' || e.key === '=') { zoom(1.25, R); return; }
      else if (e.key === '-') { zoom(0.8, R); return; }
      else if (e.key === 'Home') { end = 0; } else if (e.key === 'End') { end = n; }
      else { return; }
      e.preventDefault(); clampView(); draw();
    });
    var wanted = location.hash.split('&');
    if (wanted[0] === '#' + root.id) {
      wanted.slice(1).forEach(function (part) {
        var kv = part.split('=');
        if (kv[0] === 'zoom') { slot *= +kv[1]; clampView(); }
        if (kv[0] === 'hover') { var xy = kv[1].split(','); hover = barAt(+xy[0]); hoverY = +xy[1]; }
      });
    }
    clampView();
    draw();
  }
  Array.prototype.forEach.call(document.querySelectorAll('.live-chart'), function (root) { Chart(root); });
})();
)js";

}  // namespace nsthost
