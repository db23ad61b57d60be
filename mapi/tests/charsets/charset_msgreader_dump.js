// Lists what @kenjiuno/msgreader reads from each Email-N.msg of a folder, as JSON on standard
// output: subject, sender, recipients, Keywords, attachment names (an embedded message by its
// subject) and plain text, in message order.
//
// usage: node charset_msgreader_dump.js FOLDER NODE_MODULES_FOLDER
'use strict';
const fs = require('fs');
const path = require('path');

const [folder, modules] = process.argv.slice(2);
const MsgReader = require(path.join(modules, '@kenjiuno/msgreader')).default;

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

const names = fs.readdirSync(folder).filter(f => /^Email-\d+\.msg$/.test(f))
  .sort((a, b) => parseInt(a.slice(6), 10) - parseInt(b.slice(6), 10));
const out = [];
for (const name of names) {
  const reader = new MsgReader(fs.readFileSync(path.join(folder, name)));
  reader.parserConfig = { includeRawProps: true };
  const got = reader.getFileData();
  out.push({
    file: name,
    subject: got.subject || '',
    sender_name: got.senderName || '',
    sender_email: got.senderSmtpAddress || got.senderEmail || '',
    recipients: (got.recipients || []).map(r => [r.name || '', r.smtpAddress || r.email || '']),
    keywords: multiValuedStrings(got, 'Keywords'),
    attachments: (got.attachments || []).map(a => a.innerMsgContent
      ? { embedded: (a.innerMsgContentFields && a.innerMsgContentFields.subject) || '' }
      : a.fileName || ''),
    text: got.body || '',
  });
}
process.stdout.write(JSON.stringify(out));
