#!/usr/bin/env python3
"""Encrypts only the attached files of a QDF file (qpdf --qdf): a V4 security
handler whose page streams and strings pass through the /Identity filter and
whose embedded files go through their own RC4 crypt filter (/EFF), opened by
the user password (empty when not given): the pages read without it, the
attachment only with it. With --crypt-filter the embedded files name their
crypt filter themselves instead (compressed, then sealed:
/Filter [/Crypt /FlateDecode]) and the handler has no /EFF. Writes the QDF
file for fix-qdf to finish.

  encrypt-attachment.py [--crypt-filter] IN.qdf OUT.qdf [USER-PASSWORD]
"""
import hashlib
import re
import struct
import sys
import zlib

PAD = bytes.fromhex("28bf4e5e4e758a4164004e56fffa01082e2e00b6d0683e802f0ca9fe6453697a")
OWNER = b"owner"
PERMISSIONS = -4


def rc4(key, data):
    s = list(range(256))
    j = 0
    for i in range(256):
        j = (j + s[i] + key[i % len(key)]) % 256
        s[i], s[j] = s[j], s[i]
    out = bytearray()
    i = j = 0
    for byte in data:
        i = (i + 1) % 256
        j = (j + s[i]) % 256
        s[i], s[j] = s[j], s[i]
        out.append(byte ^ s[(s[i] + s[j]) % 256])
    return bytes(out)


def padded(password):
    return (password + PAD)[:32]


def owner_entry(user):
    key = hashlib.md5(padded(OWNER)).digest()
    for _ in range(50):
        key = hashlib.md5(key).digest()
    out = rc4(key, padded(user))
    for i in range(1, 20):
        out = rc4(bytes(b ^ i for b in key), out)
    return out


def file_key(user, owner, first_id):
    digest = hashlib.md5(padded(user) + owner + struct.pack("<i", PERMISSIONS) + first_id).digest()
    for _ in range(50):
        digest = hashlib.md5(digest).digest()
    return digest


def user_entry(key, first_id):
    out = rc4(key, hashlib.md5(PAD + first_id).digest())
    for i in range(1, 20):
        out = rc4(bytes(b ^ i for b in key), out)
    return out + bytes(16)


def object_key(key, number):
    return hashlib.md5(key + struct.pack("<i", number)[:3] + b"\0\0").digest()[:16]


def main(source, target, user, crypt_filter):
    data = open(source, "rb").read()
    first_id = bytes.fromhex(re.search(rb"/ID \[<([0-9a-f]+)>", data).group(1).decode())
    owner = owner_entry(user)
    key = file_key(user, owner, first_id)
    for match in re.finditer(rb"\n(\d+) 0 obj\n<<(?:(?!endobj).)*?/Type /EmbeddedFile(?:(?!endobj).)*?stream\n",
                             data, re.S):
        start = match.end()
        end = data.index(b"\nendstream", start)
        # QDF ends the data of a file ending in a newline right before "endstream".
        plain = zlib.compress(data[start:end + 1]) if crypt_filter else data[start:end]
        sealed = rc4(object_key(key, int(match.group(1))), plain)
        head = data[match.start():start]
        if crypt_filter:
            head = head.replace(b"/Type /EmbeddedFile",
                                b"/Type /EmbeddedFile\n  /Filter [ /Crypt /FlateDecode ]\n"
                                b"  /DecodeParms [ << /Type /CryptFilterDecodeParms /Name /StdCF >> null ]", 1)
        data = data[:match.start()] + head + sealed + data[end:]
    numbers = [int(n) for n in re.findall(rb"\n(\d+) 0 obj\n", data)]
    encrypt = max(numbers) + 1
    dictionary = (b"%d 0 obj\n<< /Filter /Standard /V 4 /R 4 /Length 128 /P %d /O <%s> /U <%s>\n"
                  b"   /CF << /StdCF << /CFM /V2 /AuthEvent /EFOpen /Length 16 >> >>\n"
                  b"   /StmF /Identity /StrF /Identity%s >>\nendobj\n\n"
                  % (encrypt, PERMISSIONS, owner.hex().encode(), user_entry(key, first_id).hex().encode(),
                     b"" if crypt_filter else b" /EFF /StdCF"))
    at = data.rindex(b"\nxref\n") + 1
    data = data[:at] + dictionary + data[at:]
    data = data.replace(b"trailer <<\n", b"trailer <<\n  /Encrypt %d 0 R\n" % encrypt, 1)
    open(target, "wb").write(data)


if __name__ == "__main__":
    crypt_filter = "--crypt-filter" in sys.argv[1:]
    args = [arg for arg in sys.argv[1:] if arg != "--crypt-filter"]
    main(args[0], args[1], args[2].encode() if len(args) > 2 else b"", crypt_filter)
