// The page's style and script. The script reads the rows from the two JSON blocks
// and builds the tables with textContent only. Up to kAllRows matching rows every
// row is in the document; beyond that the table shows one page of kPageRows at a
// time, so that 100,000 events stay quick to filter and sort.

#include "reader/html_template.h"

namespace Reader {

const char kHtmlStyle[] = R"CSS(
body { font: 14px system-ui, sans-serif; margin: 1em 2em; color: #222; }
h1 { font-size: 1.4em; margin: 0 0 .2em; } h2 { font-size: 1.15em; margin: 1.2em 0 .4em; }
#filter { width: 30em; padding: .3em; font: inherit; }
table { border-collapse: collapse; width: 100%; }
th, td { border: 1px solid #ccc; padding: .2em .4em; text-align: left; vertical-align: top;
         white-space: pre-wrap; word-break: break-all; }
th { background: #eee; cursor: pointer; user-select: none; position: sticky; top: 0; }
th.asc::after { content: " \25B2"; } th.desc::after { content: " \25BC"; }
td.by { color: #555; } .pager button { margin-right: .5em; }
)CSS";

const char kHtmlScript[] = R"JS(
'use strict';
const kAllRows = 5000, kPageRows = 1000;
function rowsOf(id) { return JSON.parse(document.getElementById(id).textContent); }
function makeTable(name, columns, rows, sortColumn) {
  const section = document.getElementById(name);
  const table = section.querySelector('table');
  const head = table.querySelector('thead tr'), body = table.querySelector('tbody');
  const count = section.querySelector('.count'), pager = section.querySelector('.pager');
  // order: every row by the current column; shown: the rows of order the filter keeps.
  const state = { order: rows.map((r, i) => i), shown: [], column: sortColumn, descending: false,
                  page: 0, text: '' };
  const cells = columns.map((title, c) => {
    const th = document.createElement('th');
    th.textContent = title;
    th.addEventListener('click', () => sortBy(c));
    head.appendChild(th);
    return th;
  });
  const lower = rows.map(r => r.join('\n').toLowerCase());
  function sortBy(c) {
    state.descending = state.column === c ? !state.descending : false;
    state.column = c;
    sortRows();
    apply();
  }
  function sortRows() {
    const c = state.column, sign = state.descending ? -1 : 1;
    state.order.sort((a, b) => {
      const x = rows[a][c], y = rows[b][c];
      return (x < y ? -sign : x > y ? sign : 0) || (a - b) * sign;
    });
  }
  function apply() {
    const text = state.text;
    state.shown = text ? state.order.filter(i => lower[i].includes(text)) : state.order.slice();
    state.page = 0;
    render();
  }
  function render() {
    cells.forEach((th, c) => th.className = c === state.column ? (state.descending ? 'desc' : 'asc') : '');
    const n = state.shown.length, paged = n > kAllRows;
    const from = paged ? state.page * kPageRows : 0, to = paged ? Math.min(n, from + kPageRows) : n;
    const fragment = document.createDocumentFragment();
    for (let k = from; k < to; ++k) {
      const tr = document.createElement('tr');
      for (const value of rows[state.shown[k]]) {
        const td = document.createElement('td');
        td.textContent = value;
        tr.appendChild(td);
      }
      tr.lastChild.className = 'by';
      fragment.appendChild(tr);
    }
    body.replaceChildren(fragment);
    count.dataset.shown = n;
    count.dataset.total = rows.length;
    count.textContent = (n === rows.length ? n : n + ' of ' + rows.length) + ' rows' +
        (paged ? ', showing ' + (from + 1) + ' to ' + to : '');
    pager.hidden = !paged;
    pager.querySelector('.previous').disabled = state.page === 0;
    pager.querySelector('.next').disabled = to >= n;
  }
  pager.querySelector('.previous').addEventListener('click', () => { state.page--; render(); });
  pager.querySelector('.next').addEventListener('click', () => { state.page++; render(); });
  sortRows();
  return { filter(text) { state.text = text; apply(); } };
}
const inventory = makeTable('inventory', ['Type', 'Entry', 'User', 'Command line', 'Display name',
    'Server', 'First recorded', 'Last changed', 'Changed by'], rowsOf('inventory-data'), 0);
const timeline = makeTable('timeline', ['Time', 'Event', 'Type', 'Entry', 'User', 'Old', 'New',
    'Changed by'], rowsOf('timeline-data'), 0);
inventory.filter('');
timeline.filter('');
// When the tables first stood, for whoever measures the page.
document.documentElement.dataset.renderedMs = Math.round(performance.now());
document.getElementById('filter').addEventListener('input', event => {
  const text = event.target.value.toLowerCase();
  inventory.filter(text);
  timeline.filter(text);
});
)JS";

}  // namespace Reader
