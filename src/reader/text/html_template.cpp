// The page's style and script. The script reads the rows from the JSON blocks and
// builds the tables with textContent only. A row's cells arrive compactly: a text
// seen before is its number in the order texts first came (so a type, user or
// process named on ten thousand rows is written once), a new short text is written
// out and numbered, a long one comes as a one-element array and is not numbered.
// Up to kAllRows matching rows every row is in the document; beyond that the table
// shows one page of kPageRows at a time, with a pager above and below it.

#include "reader/text/html_template.h"

namespace Reader {

const char kHtmlStyle[] = R"CSS(
body { font: 14px system-ui, sans-serif; margin: 1em 2em; color: #222; }
h1 { font-size: 1.4em; margin: 0 0 .2em; } h2 { font-size: 1.15em; margin: 1.2em 0 .4em; }
#filter { width: 30em; padding: .3em; font: inherit; } label { margin-left: 1em; }
.scroll { overflow-x: auto; }
table { border-collapse: collapse; width: 100%; }
th, td { border: 1px solid #ccc; padding: .2em .4em; text-align: left; vertical-align: top;
         white-space: pre-wrap; word-break: normal; overflow-wrap: normal; }
td.time { white-space: nowrap; }
th { background: #eee; cursor: pointer; user-select: none; position: sticky; top: 0; }
th.asc::after { content: " \25B2"; } th.desc::after { content: " \25BC"; }
td.by { color: #555; } .pager { margin: .4em 0; } .pager button { margin-right: .3em; }
.pager input { width: 5em; }
)CSS";

const char kHtmlScript[] = R"JS(
'use strict';
const kAllRows = 5000, kPageRows = 1000, kFilterPauseMs = 250;
const texts = [];
function cellText(cell) {
  if (typeof cell === 'number') return texts[cell];
  if (Array.isArray(cell)) return cell[0];
  texts.push(cell);
  return cell;
}
function rowsOf(id) {
  return JSON.parse(document.getElementById(id).textContent).map(row => row.map(cellText));
}
function pagerHtml(pager) {
  for (const [name, text] of [['first', 'First'], ['previous', 'Previous']]) {
    const b = document.createElement('button'); b.className = name; b.textContent = text; pager.appendChild(b);
  }
  const label = document.createElement('span'); label.textContent = 'Page ';
  const number = document.createElement('input'); number.type = 'number'; number.min = 1; number.className = 'number';
  const of = document.createElement('span'); of.className = 'of';
  pager.append(label, number, of);
  for (const [name, text] of [['next', 'Next'], ['last', 'Last']]) {
    const b = document.createElement('button'); b.className = name; b.textContent = text; pager.appendChild(b);
  }
}
function makeTable(name, columns, rows, sortColumn, describe) {
  const section = document.getElementById(name);
  const table = section.querySelector('table');
  const head = table.querySelector('thead tr'), body = table.querySelector('tbody');
  const count = section.querySelector('.count'), pagers = [...section.querySelectorAll('.pager')];
  const heading = section.querySelector('h2');
  const timeColumns = columns.map(c => c === 'Time' || c === 'First recorded' || c === 'Last changed');
  // order: every row by the current column; shown: the rows of order the filter keeps.
  const state = { order: rows.map((r, i) => i), shown: [], column: sortColumn, descending: false,
                  page: 0, text: '', hidden: null };
  const cells = columns.map((title, c) => {
    const th = document.createElement('th');
    th.textContent = title;
    th.addEventListener('click', () => sortBy(c));
    head.appendChild(th);
    return th;
  });
  // The rows' texts for the filter: made once the first view stands (or on the first
  // filter, if that comes sooner), so that neither waits for the other.
  let lower = null, lastText = '', lastHidden = null;
  const makeLower = () => { if (!lower) lower = rows.map(r => r.join('\n').toLowerCase()); };
  setTimeout(makeLower, 0);
  function sortBy(c) {
    state.descending = state.column === c ? !state.descending : false;
    state.column = c;
    sortRows();
    apply(true);
  }
  function sortRows() {
    const c = state.column, sign = state.descending ? -1 : 1;
    state.order.sort((a, b) => {
      const x = rows[a][c], y = rows[b][c];
      return (x < y ? -sign : x > y ? sign : 0) || (a - b) * sign;
    });
  }
  function apply(resorted) {
    const text = state.text, hidden = state.hidden;
    if (text) makeLower();
    // Typing on narrows what is shown already; anything else starts from every row.
    const narrowing = !resorted && lastText && text.startsWith(lastText) && hidden === lastHidden;
    const from = narrowing ? state.shown : state.order;
    state.shown = from.filter(i => (!text || lower[i].includes(text)) && !(hidden && hidden(rows[i])));
    lastText = text;
    lastHidden = hidden;
    state.page = 0;
    render();
  }
  function pages() { return Math.max(1, Math.ceil(state.shown.length / kPageRows)); }
  function render() {
    cells.forEach((th, c) => th.className = c === state.column ? (state.descending ? 'desc' : 'asc') : '');
    heading.textContent = describe(columns[state.column], state.descending);
    const n = state.shown.length, paged = n > kAllRows;
    const from = paged ? state.page * kPageRows : 0, to = paged ? Math.min(n, from + kPageRows) : n;
    const fragment = document.createDocumentFragment();
    for (let k = from; k < to; ++k) {
      const tr = document.createElement('tr');
      rows[state.shown[k]].forEach((value, c) => {
        const td = document.createElement('td');
        td.textContent = value;
        if (timeColumns[c]) td.className = 'time';
        tr.appendChild(td);
      });
      tr.lastChild.className = 'by';
      fragment.appendChild(tr);
    }
    body.replaceChildren(fragment);
    count.dataset.shown = n;
    count.dataset.total = rows.length;
    count.textContent = (n === rows.length ? n : n + ' of ' + rows.length) + ' rows' +
        (paged ? ', showing ' + (from + 1) + ' to ' + to : '');
    for (const pager of pagers) {
      pager.hidden = !paged;
      pager.querySelector('.first').disabled = pager.querySelector('.previous').disabled = state.page === 0;
      pager.querySelector('.next').disabled = pager.querySelector('.last').disabled = to >= n;
      pager.querySelector('.number').value = state.page + 1;
      pager.querySelector('.number').max = pages();
      pager.querySelector('.of').textContent = ' of ' + pages() + ' ';
    }
  }
  function go(page) { state.page = Math.min(Math.max(0, page), pages() - 1); render(); }
  for (const pager of pagers) {
    pagerHtml(pager);
    pager.querySelector('.first').addEventListener('click', () => go(0));
    pager.querySelector('.previous').addEventListener('click', () => go(state.page - 1));
    pager.querySelector('.next').addEventListener('click', () => go(state.page + 1));
    pager.querySelector('.last').addEventListener('click', () => go(pages() - 1));
    pager.querySelector('.number').addEventListener('change', event => go(Number(event.target.value) - 1));
  }
  sortRows();
  return { filter(text) { state.text = text; apply(); }, hide(test) { state.hidden = test; apply(); } };
}
// The heading says the order the rows are in.
function describer(title, timeWords) {
  return (column, descending) => title + ', ' + (column === 'Time' && timeWords ? (descending ? 'newest first' : 'oldest first')
      : 'by ' + column.toLowerCase() + (descending ? ', Z to A' : ', A to Z'));
}
const inventoryColumns = ['Type', 'Entry', 'Location', 'User', 'Command line', 'Server', 'First recorded',
    'Last changed', 'Entry file signer', 'Changed by'];
const inventory = makeTable('inventory', inventoryColumns, rowsOf('inventory-data'), 2, describer('Load points', false));
const timeline = makeTable('timeline', ['Time', 'Event', 'Type', 'Entry', 'Location', 'User', 'Old', 'New',
    'Changed by'], rowsOf('timeline-data'), 0, describer('Changes', true));
inventory.filter('');
timeline.filter('');
// When the tables first stood, for whoever measures the page.
document.documentElement.dataset.renderedMs = Math.round(performance.now());
let pause = 0;
document.getElementById('filter').addEventListener('input', event => {
  clearTimeout(pause);
  const text = event.target.value.toLowerCase();
  pause = setTimeout(() => {
    inventory.filter(text);
    timeline.filter(text);
    const root = document.documentElement.dataset;
    root.filterRuns = Number(root.filterRuns || 0) + 1;
    root.filteredMs = Math.round(performance.now());
  }, kFilterPauseMs);
});
// The operating system vendor signs the system's own files; hiding what it signs
// leaves what was added to the machine.
const vendor = document.getElementById('vendor').textContent;
const signerColumn = inventoryColumns.indexOf('Entry file signer');
const hideVendor = document.getElementById('hide-vendor');
hideVendor.disabled = !vendor;
hideVendor.addEventListener('change', () => inventory.hide(hideVendor.checked
    ? row => row[signerColumn] === vendor + ' (valid)' : null));
)JS";

}  // namespace Reader
