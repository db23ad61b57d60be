// Lists a store the way pst-extractor reads it, as JSON on standard output: every folder by
// path, every message with its subject, sender, recipients, time, bodies and attachments
// (names, sizes and CRC-32s of their bytes), embedded messages included.
'use strict';
const zlib = require('zlib');
const { PSTFile } = require(process.argv[3] + '/node_modules/pst-extractor');

function crc32(buffer) {
  if (zlib.crc32) return zlib.crc32(buffer) >>> 0;
  let crc = ~0;
  for (const b of buffer) {
    crc ^= b;
    for (let k = 0; k < 8; k++) crc = (crc >>> 1) ^ (0xEDB88320 & -(crc & 1));
  }
  return ~crc >>> 0;
}

function attachmentBytes(a) {
  const stream = a.fileInputStream;
  if (!stream) return Buffer.alloc(0);
  const out = [];
  const piece = Buffer.alloc(8176);
  let n;
  while ((n = stream.read(piece)) > 0) out.push(Buffer.from(piece.subarray(0, n)));
  return Buffer.concat(out);
}

function message(m) {
  const recipients = [];
  for (let i = 0; i < m.numberOfRecipients; i++) {
    const r = m.getRecipient(i);
    recipients.push([r.displayName, r.smtpAddress || r.emailAddress, r.recipientType]);
  }
  const attachments = [];
  for (let i = 0; i < m.numberOfAttachments; i++) {
    const a = m.getAttachment(i);
    const entry = { name: a.longFilename || '', display_name: a.displayName || '' };
    if (a.attachMethod === 5) {
      // This version cannot open embedded messages, Outlook's own included: null.
      const embedded = a.embeddedPSTMessage;
      entry.embedded = embedded ? message(embedded) : null;
    } else {
      const bytes = attachmentBytes(a);
      entry.size = bytes.length;
      entry.crc = crc32(bytes);
    }
    attachments.push(entry);
  }
  const time = m.clientSubmitTime;
  return {
    subject: m.subject,
    sender_name: m.senderName,
    sender_email: m.senderEmailAddress,
    submit_time: time ? Math.floor(time.getTime() / 1000) : 0,
    body: m.body || '',
    html: m.bodyHTML || '',
    recipients,
    attachments,
  };
}

function folder(f, path, out) {
  const here = path === null ? '' : (path ? path + '/' : '') + f.displayName;
  const messages = [];
  if (f.contentCount > 0) {
    for (let m = f.getNextChild(); m; m = f.getNextChild()) messages.push(message(m));
  }
  out.push({ path: here, messages });
  if (f.hasSubfolders) for (const sub of f.getSubFolders()) folder(sub, here, out);
}

const store = new PSTFile(process.argv[2]);
const out = [];
folder(store.getRootFolder(), null, out);
process.stdout.write(JSON.stringify({ display_name: store.getMessageStore().displayName, folders: out }));
