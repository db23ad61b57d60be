// Checks the samples qc_rtf_samples wrote with decoders we did not write, from the npm registry:
// @kenjiuno/decompressrtf must expand NAME.lzfu to NAME.rtf byte for byte, and rtf-stream-parser
// must de-encapsulate NAME.rtf (as that decoder expanded it) to exactly NAME.in.
//
// usage: node independent_decoders.js SAMPLES_FOLDER NODE_MODULES_FOLDER
'use strict';
const fs = require('fs');
const path = require('path');

const [folder, modules] = process.argv.slice(2);
const { decompressRTF } = require(path.join(modules, '@kenjiuno/decompressrtf'));
const { deEncapsulateSync } = require(path.join(modules, 'rtf-stream-parser'));
const iconv = require(path.join(modules, 'iconv-lite'));

function firstDifference(a, b) {
  let i = 0;
  while (i < a.length && i < b.length && a[i] === b[i]) ++i;
  return i;
}

let passed = 0;
let failed = 0;
function fail(name, why) {
  ++failed;
  console.log(`FAIL ${name}: ${why}`);
}

for (const file of fs.readdirSync(folder).filter(f => f.endsWith('.lzfu')).sort()) {
  const name = file.slice(0, -'.lzfu'.length);
  const ours = fs.readFileSync(path.join(folder, name + '.rtf'));
  let rtf;
  try {
    rtf = Buffer.from(decompressRTF([...fs.readFileSync(path.join(folder, file))]));
  } catch (e) {
    fail(name, `decompressrtf: ${e.message}`);
    continue;
  }
  if (!rtf.equals(ours)) {
    fail(name, `decompressrtf gives ${rtf.length} bytes, we wrote ${ours.length}; first ` +
               `difference at ${firstDifference(rtf, ours)}`);
    continue;
  }
  const inputPath = path.join(folder, name + '.in');
  if (fs.existsSync(inputPath)) {
    const expected = fs.readFileSync(inputPath, 'utf8');
    const warnings = [];
    let result;
    try {
      result = deEncapsulateSync(rtf, { decode: iconv.decode, warn: w => warnings.push(w) });
    } catch (e) {
      fail(name, `rtf-stream-parser: ${e.message}`);
      continue;
    }
    const kind = name.startsWith('html-') ? 'html' : 'text';
    if (result.mode !== kind) {
      fail(name, `rtf-stream-parser says ${result.mode}, not ${kind}`);
      continue;
    }
    if (result.text !== expected) {
      const at = firstDifference(result.text, expected);
      fail(name, `rtf-stream-parser gives ${result.text.length} UTF-16 units, expected ` +
                 `${expected.length}; first difference at ${at}: ` +
                 `${JSON.stringify(result.text.slice(at, at + 20))} against ` +
                 `${JSON.stringify(expected.slice(at, at + 20))}`);
      continue;
    }
    if (warnings.length) {
      fail(name, `rtf-stream-parser warns: ${warnings[0]}`);
      continue;
    }
  }
  ++passed;
}
console.log(`${passed} passed, ${failed} failed`);
process.exit(failed === 0 && passed > 0 ? 0 : 1);
