#!/usr/bin/env bash
# Writes the seed hives of fuzz_hive into this folder: an empty hive made
# here (base block, one bin, security cell, root key), filled by hivex
# (python3-hivex) with keys and values of every kind, and one dirty hive
# followed by a new-format transaction log that carries the newer bins, as
# the fuzzer reads a tail past the hive as its log.
set -euo pipefail
cd "$(dirname "$0")"
/usr/bin/python3 - <<'PY'
import struct, shutil, hivex

def checksum(block):
    c = 0
    for (w,) in struct.iter_unpack('<I', block[:508]):
        c ^= w
    return {0: 1, 0xFFFFFFFF: 0xFFFFFFFE}.get(c, c)

def empty_hive(path, sequence=1):
    bins = bytearray(4096)
    bins[0:32] = b'hbin' + struct.pack('<III', 0, 4096, 0) + bytes(16)
    sd = bytes([1, 0, 4, 0x80]) + bytes(16)            # no DACL: everyone
    sk = b'sk' + bytes(2) + struct.pack('<IIII', 32, 32, 1, len(sd)) + sd
    sk_cell = struct.pack('<i', -((len(sk) + 4 + 7) & ~7)) + sk
    bins[32:32 + len(sk_cell)] = sk_cell
    root_at = 32 + ((len(sk) + 4 + 7) & ~7)
    nk = (b'nk' + struct.pack('<HQIIIIIIIIIIIIIIIHH', 0x2C, 0, 0, 0, 0, 0, 0xFFFFFFFF,
          0xFFFFFFFF, 0, 0xFFFFFFFF, 32, 0xFFFFFFFF, 0, 0, 0, 0, 0, 4, 0) + b'ROOT')
    size = (len(nk) + 4 + 7) & ~7
    bins[root_at:root_at + 4 + len(nk)] = struct.pack('<i', -size) + nk
    free_at = root_at + size
    bins[free_at:free_at + 4] = struct.pack('<i', 4096 - free_at)
    base = bytearray(4096)
    base[0:48] = b'regf' + struct.pack('<IIQIIIIIII', sequence, sequence, 0, 1, 5, 0, 1,
                                       root_at, 4096, 1)
    base[508:512] = struct.pack('<I', checksum(base))
    open(path, 'wb').write(bytes(base) + bytes(bins))

def fill(path, keys):
    h = hivex.Hivex(path, write=True)
    root = h.root()
    for key, values in keys:
        node = root
        for part in key.split('\\'):
            node = h.node_get_child(node, part) or h.node_add_child(node, part)
        h.node_set_values(node, values)
    h.commit(path)

def sz(text):
    return (text + '\0').encode('utf-16-le')

empty_hive('empty.hive')
shutil.copy('empty.hive', 'software.hive')
fill('software.hive', [
    ('Microsoft\\Windows\\CurrentVersion\\Run',
     [{'key': 'ctfmon', 't': 1, 'value': sz('C:\\WINDOWS\\system32\\ctfmon.exe')},
      {'key': '', 't': 2, 'value': sz('%SystemRoot%\\x.exe')},
      {'key': 'multi', 't': 7, 'value': sz('a') + sz('b') + b'\0\0'},
      {'key': 'dword', 't': 4, 'value': struct.pack('<I', 42)},
      {'key': 'big', 't': 3, 'value': bytes(range(256)) * 80}]),
    ('Classes\\CLSID\\{00000000-0000-0000-0000-000000000001}\\InprocServer32',
     [{'key': '', 't': 1, 'value': sz('a.dll')}]),
    ('\u041f\u0440\u0438\u0432\u0435\u0442', [{'key': '\u00e9t\u00e9', 't': 1, 'value': sz('x')}]),
    ('Select', [{'key': 'Current', 't': 4, 'value': struct.pack('<I', 1)}]),
])

# A dirty hive (sequence 3/2) and a log entry with sequence 3 holding the
# bins of software.hive.
M = 0xFFFFFFFF
def marvin(data, seed=0x82EF4D887A4E55C5):
    a, b = seed & M, seed >> 32
    def mix(a, b):
        b ^= a; a = ((a << 20 | a >> 12) & M); a = (a + b) & M
        b = ((b << 9 | b >> 23) & M) ^ a; a = ((a << 27 | a >> 5) & M); a = (a + b) & M
        b = (b << 19 | b >> 13) & M
        return a, b
    n = len(data) // 4
    for (w,) in struct.iter_unpack('<I', data[:n * 4]):
        a = (a + w) & M; a, b = mix(a, b)
    tail = data[n * 4:] + b'\x80' + b'\0\0\0'
    a = (a + struct.unpack_from('<I', tail)[0]) & M
    a, b = mix(a, b); a, b = mix(a, b)
    return a | b << 32

empty_hive('dirty.tmp', sequence=3)
dirty = bytearray(open('dirty.tmp', 'rb').read())
dirty[8:12] = struct.pack('<I', 2)
dirty[508:512] = struct.pack('<I', checksum(dirty))
newer = open('software.hive', 'rb').read()
bins = newer[4096:]
log = bytearray(newer[:512])
log[28:32] = struct.pack('<I', 6)
log[508:512] = struct.pack('<I', checksum(log))
body = struct.pack('<II', 0, len(bins)) + bins
entry = bytearray(b'HvLE' + struct.pack('<IIIII', 0, 0, 3, len(bins), 1) + bytes(16) + body)
entry += bytes(-len(entry) % 512)
entry[4:8] = struct.pack('<I', len(entry))
entry[24:32] = struct.pack('<Q', marvin(bytes(entry[40:])))
entry[32:40] = struct.pack('<Q', marvin(bytes(entry[:32])))
open('dirty_with_log.hive', 'wb').write(bytes(dirty) + bytes(log) + bytes(entry))
PY
rm -f dirty.tmp
ls -l
