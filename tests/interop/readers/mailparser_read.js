// Reads delivered messages with Node's mailparser and prints what it shows
// of each, in the line format of gmime_read.c (every value hex-encoded,
// "-" for empty):
//
//   file <path as given>
//   subject <text>
//   address <header> <display name> <address>
//   body <text>
//   attachment <name> <bytes>
//   end
//
//   node mailparser_read.js FILE...
"use strict";

const fs = require("fs");
const { simpleParser } = require("mailparser");

function hex(value) {
    const bytes = Buffer.isBuffer(value) ? value : Buffer.from(value || "", "utf8");
    return bytes.length ? bytes.toString("hex") : "-";
}

// An address header as mailparser gives it: one object, or an array when
// the header occurs more than once; groups hold their members.
function addressLines(header, parsed) {
    const lines = [];
    const visit = (entry) => {
        if (entry.group) {
            entry.group.forEach(visit);
        } else {
            lines.push(`address ${header} ${hex(entry.name)} ${hex(entry.address)}`);
        }
    };
    for (const field of [].concat(parsed || [])) {
        field.value.forEach(visit);
    }
    return lines;
}

async function read(path) {
    const parsed = await simpleParser(fs.readFileSync(path));
    const lines = [`file ${hex(path)}`, `subject ${hex(parsed.subject)}`];
    const headers = [["From", parsed.from], ["Sender", parsed.headers.get("sender")],
        ["Reply-To", parsed.replyTo], ["To", parsed.to], ["Cc", parsed.cc], ["Bcc", parsed.bcc]];
    for (const [name, value] of headers) {
        lines.push(...addressLines(name, value));
    }
    if (parsed.text !== undefined) {
        lines.push(`body ${hex(parsed.text)}`);
    }
    for (const attachment of parsed.attachments) {
        lines.push(`attachment ${hex(attachment.filename)} ${hex(attachment.content)}`);
    }
    lines.push("end");
    return lines.join("\n") + "\n";
}

(async () => {
    for (const path of process.argv.slice(2)) {
        process.stdout.write(await read(path));
    }
})().catch((error) => {
    process.stderr.write(`mailparser-read: ${error.stack}\n`);
    process.exit(1);
});
