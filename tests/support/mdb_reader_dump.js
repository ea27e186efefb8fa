// Dumps one table with the npm package mdb-reader, in the dump format of the test files, so
// that tests can compare an independent reader with ours.
// Usage: node mdb_reader_dump.js NODE_MODULES_DIR FILE TABLE
'use strict';
const path = require('path');
const fs = require('fs');

const [modules, file, table] = process.argv.slice(2);
const MDBReader = require(path.resolve(modules, 'mdb-reader')).default;

function escapeText(s) {
  return s.replace(/\\/g, '\\\\').replace(/\t/g, '\\t').replace(/\n/g, '\\n').replace(/\r/g, '\\r');
}

function pad(n, width) { return String(n).padStart(width, '0'); }

function formatDate(d) {
  // mdb-reader builds dates from the stored day count as UTC.
  let s = `${pad(d.getUTCFullYear(), 4)}-${pad(d.getUTCMonth() + 1, 2)}-${pad(d.getUTCDate(), 2)}` +
      `T${pad(d.getUTCHours(), 2)}:${pad(d.getUTCMinutes(), 2)}:${pad(d.getUTCSeconds(), 2)}`;
  if (d.getUTCMilliseconds()) s += '.' + pad(d.getUTCMilliseconds(), 3);
  return s;
}

function formatCurrency(text) {
  let [whole, fraction = ''] = text.split('.');
  return `${whole}.${(fraction + '0000').slice(0, 4)}`;
}

function formatNumeric(text) {
  if (!text.includes('.')) return text;
  return text.replace(/0+$/, '').replace(/\.$/, '');
}

function format(value, type) {
  if (value === null || value === undefined) return '\\N';
  switch (type) {
    case 'text': case 'memo': return escapeText(value);
    case 'boolean': return value ? 'true' : 'false';
    case 'datetime': return formatDate(value);
    case 'currency': return formatCurrency(value);
    case 'numeric': return formatNumeric(value);
    case 'binary': case 'ole': return '0x' + Buffer.from(value).toString('hex');
    case 'repid': return value.toUpperCase();
    default: return String(value);
  }
}

const reader = new MDBReader(fs.readFileSync(file));
const t = reader.getTable(table);
const columns = t.getColumns();
const out = [columns.map(c => c.name).join('\t')];
for (const row of t.getData()) {
  out.push(columns.map(c => format(row[c.name], c.type)).join('\t'));
}
process.stdout.write(out.join('\n') + '\n');
