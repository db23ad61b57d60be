// Reads every NNN.msg of the corpus with @kenjiuno/msgreader and checks it against NNN.json,
// what the source message says (written by qc_corpus_expect): subject, sender, To, Cc, Bcc,
// Reply-To, Keywords (a multi-valued named property), date, plain text, HTML (as PR_HTML and as the HTML inside the compressed RTF, which
// @kenjiuno/decompressrtf expands and rtf-stream-parser de-encapsulates), and every attachment's
// name, bytes and inline-ness. Each disagreement is printed with the message and the field.
//
// usage: node corpus_msgreader.js FOLDER NODE_MODULES_FOLDER
'use strict';
const fs = require('fs');
const path = require('path');
const crypto = require('crypto');

const [folder, modules] = process.argv.slice(2);
const MsgReader = require(path.join(modules, '@kenjiuno/msgreader')).default;
const { decompressRTF } = require(path.join(modules, '@kenjiuno/decompressrtf'));
const { deEncapsulateSync } = require(path.join(modules, 'rtf-stream-parser'));
const iconv = require(path.join(modules, 'iconv-lite'));

// The same normalisation as NormalisedText in corpus.cpp.
function normalised(text) {
  const lines = text.replace(/\0/g, '').replace(/\r\n?/g, '\n').split('\n')
    .map(line => line.replace(/[ \t]+$/, ''));
  return lines.join('\n').replace(/\n+$/, '');
}

function spaced(text) {
  return text.replace(/[ \t\r\n]+/g, ' ').trim();
}

// Windows code pages as iconv-lite names them; Latin-1 and ASCII read as windows-1252, as the
// import and every browser read them.
function encodingOf(codePage) {
  const names = {
    65001: 'utf8', 20127: 'win1252', 28591: 'win1252', 1200: 'utf16le', 1201: 'utf16be',
    20866: 'koi8-r', 21866: 'koi8-u', 932: 'shiftjis', 936: 'gbk', 54936: 'gb18030',
    950: 'big5', 949: 'cp949', 51949: 'euc-kr', 51932: 'eucjp', 874: 'windows874',
  };
  if (names[codePage]) return names[codePage];
  if (codePage >= 1250 && codePage <= 1258) return 'win' + codePage;
  if (codePage >= 28592 && codePage <= 28605) return 'iso-8859-' + (codePage - 28590);
  return null;
}

// PR_REPLY_RECIPIENT_ENTRIES: a FlatEntryList of one-off entry identifiers (MS-OXCDATA 2.3.3,
// 2.2.5.1); the address is the third UTF-16 string after the 24 fixed bytes.
function replyToAddresses(raw) {
  const out = [];
  if (!raw) return out;
  const view = Buffer.from(raw);
  const count = view.readUInt32LE(0);
  let at = 8;
  for (let i = 0; i < count && at + 4 <= view.length; ++i) {
    const size = view.readUInt32LE(at);
    const entry = view.subarray(at + 4, at + 4 + size);
    const strings = entry.subarray(24).toString('utf16le').split('\0');
    if (strings.length >= 3) out.push(strings[2].toLowerCase());
    at += 4 + Math.ceil(size / 4) * 4;
  }
  return out.sort();
}

// A multi-valued string named property as msgreader hands out its streams: the lengths stream
// (one 32-bit size per value, terminating NUL included) and then each value's stream.
function multiValuedStrings(fields, name) {
  const streams = (fields.rawProps || []).filter(p => p.propertyName === name)
    .map(p => Buffer.from(Object.values(p.value)));
  for (const lengths of streams) {
    if (lengths.length === 0 || lengths.length % 4 !== 0) continue;
    const sizes = [];
    for (let i = 0; i < lengths.length; i += 4) sizes.push(lengths.readUInt32LE(i));
    const values = streams.slice(streams.length - sizes.length);
    if (values.length === sizes.length && values.every((v, i) => v.length === sizes[i])) {
      return values.map(v => v.toString('utf16le').replace(/\0$/, ''));
    }
  }
  return [];
}

function rawProp(fields, tag) {
  const prop = (fields.rawProps || []).find(p => p.propertyTag === tag);
  return prop ? prop.value : undefined;
}

function sameSet(a, b) {
  return JSON.stringify([...a].sort()) === JSON.stringify([...b].sort());
}

let passed = 0;
let failed = 0;
let fieldsChecked = 0;

for (const file of fs.readdirSync(folder).filter(f => f.endsWith('.json')).sort()) {
  const stem = file.slice(0, -'.json'.length);
  const want = JSON.parse(fs.readFileSync(path.join(folder, file), 'utf8'));
  const problems = [];
  const check = (field, ok, detail) => {
    ++fieldsChecked;
    if (!ok) problems.push(`${field}: ${detail}`);
  };
  let reader, got;
  try {
    reader = new MsgReader(fs.readFileSync(path.join(folder, stem + '.msg')));
    reader.parserConfig = { includeRawProps: true };
    got = reader.getFileData();
  } catch (e) {
    console.log(`FAIL ${want.name}: msgreader cannot read it: ${e.message}`);
    ++failed;
    continue;
  }
  if (got.error) problems.push(`msgreader: ${got.error}`);

  check('subject', spaced(got.subject || '') === want.subject,
        `${JSON.stringify(got.subject)}, source ${JSON.stringify(want.subject)}`);
  if (want.from) {
    const from = (got.sentRepresentingSmtpAddress || '').toLowerCase();
    check('sender', from === want.from, `${from}, source ${want.from}`);
  }
  for (const kind of ['to', 'cc', 'bcc']) {
    // A group that names no one is a recipient of its name alone, without an address.
    const addresses = (got.recipients || []).filter(r => (r.recipType || 'to') === kind)
      .map(r => (r.smtpAddress || r.email || '').toLowerCase()).filter(a => a !== '');
    check(kind, sameSet(addresses, want[kind]),
          `${JSON.stringify(addresses)}, source ${JSON.stringify(want[kind])}`);
  }
  const replyTo = replyToAddresses(rawProp(got, '004f0102'));
  check('reply-to', sameSet(replyTo, want.replyTo),
        `${JSON.stringify(replyTo)}, source ${JSON.stringify(want.replyTo)}`);
  const keywords = multiValuedStrings(got, 'Keywords');
  check('keywords', JSON.stringify(keywords) === JSON.stringify(want.keywords),
        `${JSON.stringify(keywords)}, source ${JSON.stringify(want.keywords)}`);
  if (want.date !== null) {
    const date = got.clientSubmitTime ? Date.parse(got.clientSubmitTime) / 1000 : null;
    check('date', date === want.date, `${got.clientSubmitTime}, source ${want.date}`);
  }
  if (want.text !== null) {
    check('plain text', normalised(got.body || '') === want.text,
          `${JSON.stringify((got.body || '').slice(0, 80))}, source ` +
          `${JSON.stringify(want.text.slice(0, 80))}`);
  }

  // The RTF body: the HTML, or the plain text for a message without HTML.
  let recovered = null;
  try {
    const rtf = Buffer.from(decompressRTF([...got.compressedRtf]));
    recovered = deEncapsulateSync(rtf, { decode: iconv.decode });
  } catch (e) {
    check('RTF body', false, `cannot be read: ${e.message}`);
  }
  if (want.html !== null) {
    const encoding = encodingOf(got.internetCodepage);
    if (!got.html) {
      check('HTML', false, 'no HTML body');
    } else if (encoding) {
      const html = normalised(iconv.decode(Buffer.from(got.html), encoding));
      check('HTML', html === want.html, `${JSON.stringify(html.slice(0, 80))}, source ` +
            `${JSON.stringify(want.html.slice(0, 80))}`);
    }
    if (recovered) {
      check('HTML in RTF', recovered.mode === 'html' && normalised(recovered.text) === want.html,
            `${recovered.mode} ${JSON.stringify(recovered.text.slice(0, 80))}`);
    }
  } else {
    check('HTML', !got.html, 'an HTML body the source does not have');
    if (recovered) {
      check('text in RTF', recovered.mode === 'text' &&
            normalised(recovered.text) === normalised(got.body || ''),
            `${recovered.mode} ${JSON.stringify(recovered.text.slice(0, 80))}`);
    }
  }

  // Attachments: named ones by name, the others by their bytes; embedded messages by subject.
  const left = [...(got.attachments || [])];
  for (const a of want.attachments) {
    const label = a.embedded ? `embedded message ${JSON.stringify(a.subject)}` :
                               `attachment ${JSON.stringify(a.name || '(unnamed)')}`;
    let index;
    if (a.embedded) {
      index = left.findIndex(g => g.innerMsgContent &&
                             spaced(g.innerMsgContentFields.subject || '') === a.subject);
    } else {
      const md5 = g => crypto.createHash('md5').update(reader.getAttachment(g).content)
        .digest('hex');
      index = left.findIndex(g => !g.innerMsgContent && (a.name ? g.fileName === a.name :
                                                                  md5(g) === a.md5));
      if (index >= 0) {
        const content = reader.getAttachment(left[index]).content;
        const hash = crypto.createHash('md5').update(content).digest('hex');
        check(`${label} bytes`, hash === a.md5 && content.length === a.size,
              `${content.length} bytes, source ${a.size}`);
        check(`${label} inline`, !!left[index].attachmentHidden === a.inline,
              `hidden ${!!left[index].attachmentHidden}, source inline ${a.inline}`);
      }
    }
    check(label, index >= 0, 'missing');
    if (index >= 0) left.splice(index, 1);
  }
  for (const g of left) {
    check('attachments', false, `one the source does not have: ${JSON.stringify(g.fileName ||
          g.name)}`);
  }

  if (problems.length) {
    ++failed;
    for (const p of problems) console.log(`FAIL ${want.name}: ${p}`);
  } else {
    ++passed;
  }
}
console.log(`${fieldsChecked} fields checked`);
console.log(`${passed} passed, ${failed} failed`);
process.exit(failed === 0 && passed > 0 ? 0 : 1);
