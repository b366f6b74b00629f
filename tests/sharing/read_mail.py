"""Reads a message from an Outbox with Python's own e-mail parser and prints
what a mail client would show, as JSON: the From, To and Cc headers, the
subject, the text body, each attachment's file name (from its disposition
and from its type) and sha256, and the
sha256 of each source file named after the message (for comparison), and
for each attachment what Pillow reads in it: format, size and mode, or "-";
then the parser's defects and the length of the longest line."""
import email
import email.policy
import hashlib
import io
import json
import sys

from PIL import Image


def picture(data):
    try:
        with Image.open(io.BytesIO(data)) as image:
            image.load()
            return '%s %dx%d %s' % (image.format, image.width, image.height, image.mode)
    except Exception:
        return '-'


with open(sys.argv[1], 'rb') as f:
    raw = f.read()
message = email.message_from_bytes(raw, policy=email.policy.default)
# The longest line of the whole message, without its line end (RFC 5322
# allows 998 and asks for 78).
longest = max(len(line) for line in raw.split(b'\r\n'))
defects = [type(d).__name__ for part in message.walk() for d in part.defects]
body = message.get_body(preferencelist=('plain',))
result = {
    'from': str(message.get('From', '')),
    'to': [a.addr_spec for a in message['To'].addresses] if message['To'] else [],
    'cc': [a.addr_spec for a in message['Cc'].addresses] if message['Cc'] else [],
    'bcc': message.get('Bcc'),
    'subject': str(message.get('Subject', '')),
    'body': body.get_content() if body is not None else None,
    'attachments': [{'name': part.get_filename(),
                     'typename': part['Content-Type'].params.get('name'),
                     'sha256': hashlib.sha256(part.get_payload(decode=True)).hexdigest(),
                     'picture': picture(part.get_payload(decode=True))}
                    for part in message.iter_attachments()],
    'sources': [hashlib.sha256(open(p, 'rb').read()).hexdigest() for p in sys.argv[2:]],
    'defects': defects,
}
# One line per item, texts as JSON strings (ASCII with \u escapes).
for key in ('from', 'to', 'cc', 'bcc', 'subject', 'body'):
    value = result[key]
    if isinstance(value, list):
        value = ','.join(value)
    print(key + '\t' + json.dumps(value))
for a in result['attachments']:
    print('attachment\t' + json.dumps(a['name']) + '\t' + a['sha256'])
    print('typename\t' + json.dumps(a['typename']))
    print('picture\t' + a['picture'])
for s in result['sources']:
    print('source\t' + s)
print('defects\t' + str(len(defects)))
print('longest\t' + str(longest))
