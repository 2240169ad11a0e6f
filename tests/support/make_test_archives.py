#!/usr/bin/env python3
"""Makes the archives the engine tests read, with standard tools: the zip command, Python's
zipfile and tarfile. Usage: make_test_archives.py OUTPUT_DIR"""
import io
import os
import shutil
import subprocess
import sys
import tarfile
import zipfile

out = sys.argv[1]
shutil.rmtree(out, ignore_errors=True)
os.makedirs(out)


def path(*parts):
    return os.path.join(out, *parts)


def write(name, data):
    full = path(name)
    os.makedirs(os.path.dirname(full), exist_ok=True)
    with open(full, "wb") as f:
        f.write(data)
    return full


def pattern(size, seed):
    return bytes((i * 31 + seed + (i >> 8)) & 0xFF for i in range(size))


def zip_bytes(members, method=zipfile.ZIP_DEFLATED):
    buffer = io.BytesIO()
    with zipfile.ZipFile(buffer, "w", method) as z:
        for name, data in members:
            z.writestr(name, data)
    return buffer.getvalue()


def tar_bytes(members, format=tarfile.USTAR_FORMAT):
    buffer = io.BytesIO()
    with tarfile.open(fileobj=buffer, mode="w", format=format) as t:
        for name, data in members:
            info = tarfile.TarInfo(name)
            info.size = len(data)
            t.addfile(info, io.BytesIO(data))
    return buffer.getvalue()


readme = b"Kelvane nested readme\r\n" * 300
small = b"small member\r\n"
big = pattern(200_000, 7)

write("plain.txt", b"plain file contents\r\n" * 50)
write("empty.bin", b"")

# zip in tar in zip, the innermost made by Python's zipfile, the outermost by the zip command.
inner = zip_bytes([("docs/readme.txt", readme), ("small.txt", small), ("empty.txt", b""), ("big.bin", big)])
middle = tar_bytes([("pack/inner.zip", inner), ("pack/note.txt", b"note\n")])
stage = path("stage")
write("stage/mid.tar", middle)
write("stage/ReadMe.txt", b"top level\n")
subprocess.run(["zip", "-q", "-X", "-r", os.path.abspath(path("outer.zip")), "mid.tar", "ReadMe.txt"],
               cwd=stage, check=True)
shutil.rmtree(stage)
write("inner.zip", inner)
write("mid.tar", middle)

# Double-byte names whose trail byte is '\' in code page 932 (表 is 95 5C).
write("表フォルダ/表.zip", zip_bytes([("表/表.txt", "表の中身".encode("cp932"))]))

# A member three folders deep with Japanese names, 600 bytes in code page 932 (LongMemberPath() in
# tests/engine/TestEnv.h builds the same path); pax headers carry such names whole, in UTF-8. The zip
# holds the tar in the same three folders.
long_folders = "/".join(name * 16 for name in ("表計算ソフト", "予定表の控え", "ソース一覧表"))
long_member = long_folders + "/表示ソフト一覧_12.txt"
assert len(long_member.encode("cp932")) == 600
long_tar = tar_bytes([(long_member, readme)], tarfile.PAX_FORMAT)
write("long.tar", long_tar)
write("long.zip", zip_bytes([(long_folders + "/long.tar", long_tar)]))

# An archive behind a 128-byte header, alone on disk and inside a tar (so held in memory).
stub = b"KVSTUB" + bytes(122)
k128 = stub + zip_bytes([("sub/deep.txt", readme), ("tiny.txt", small)], zipfile.ZIP_STORED)
write("wrapped.k128", k128)
write("holder.tar", tar_bytes([("wrapped.k128", k128), ("plain.txt", b"x")]))

# A tar for the plug-ins that read tar only (faulty ones included).
write("simple.tar", tar_bytes([("a.txt", readme), ("b.txt", small)]))

# For the plug-ins that behave like real third-party ones, each reading its own extension: a zip
# holding one tar for each (with a zip inside), a name-only tar and a zip for the plug-in without
# memory output on disk. Of those that open their archive with no sharing, one level lies inside the
# other; those that name members with "/" get double-byte names whose trail byte is '\' (表 95 5C,
# ソ 83 5C), one at the root ahead of the members in folders, and lie on disk too.
quirky_members = [("docs/readme.txt", readme), ("small.txt", small), ("deeper.zip", zip_bytes([("small.txt", small)]))]
quirky_tar = tar_bytes(quirky_members)
slashed_tar = tar_bytes([("ソ.txt", "表の中身".encode("cp932")), ("docs/readme.txt", readme),
                         ("表/ソ.txt", "表の中身".encode("cp932")),
                         ("pack/deeper.zip", zip_bytes([("small.txt", small)]))])
write("quirks.zip", zip_bytes([("inner.dtar", quirky_tar), ("inner.gtar", quirky_tar), ("inner.ntar", quirky_tar),
                               ("inner.xtar", tar_bytes(quirky_members + [("again.ytar", quirky_tar)])),
                               ("inner.ytar", quirky_tar), ("inner.star", slashed_tar),
                               ("inner.utar", slashed_tar)], zipfile.ZIP_STORED))
write("slashes.star", slashed_tar)
write("slashes.utar", slashed_tar)
write("names.ntar", quirky_tar)
write("broken.lcrash", quirky_tar)
write("stored.ozip", zip_bytes([("docs/readme.txt", readme), ("small.txt", small)], zipfile.ZIP_STORED))

# For the plug-ins whose ways broke nested levels, each reading ZIP under its own extension: a .tzip,
# a .mzip, a .vzip and a .lzip whose wanted members are not their first, each holding another of its
# kind; on disk, and inside a tar that tar.spi reads.
nested_inner = zip_bytes([("small.txt", small), ("docs/readme.txt", readme)], zipfile.ZIP_STORED)
for kind in ("tzip", "mzip", "vzip", "lzip"):
    write("nested." + kind, zip_bytes([("small.txt", small), ("docs/readme.txt", readme),
                                       ("pack/deeper." + kind, nested_inner)], zipfile.ZIP_STORED))
write("levels.tar", tar_bytes([("inner." + kind, open(path("nested." + kind), "rb").read())
                               for kind in ("tzip", "mzip", "vzip", "lzip")]))

# For the plug-ins that report progress in their own ways, each reading its own extension (the slow
# one also inside a zip, as a level in memory), and for the one whose loading is slow.
write("steps.slow", quirky_tar)
write("silent.deaf", quirky_tar)
write("table.sload", quirky_tar)
write("nonsense.odd", quirky_tar)
write("slow.zip", zip_bytes([("inner.slow", quirky_tar)], zipfile.ZIP_STORED))
# For the plug-in whose disk positions differ from its memory positions.
write("shifted.zip", zip_bytes([("inner.ptar", quirky_tar)], zipfile.ZIP_STORED))

# Files that only the crashing and the hanging plug-in take, by their names.
write("broken.crash", b"only crash.spi takes this\r\n")
write("crashes.zip", zip_bytes([("inner.crash", b"only crash.spi takes this\r\n")], zipfile.ZIP_STORED))
write("stuck.hang", b"only hang.spi takes this\r\n")
write("hangs.zip", zip_bytes([("inner.hang", b"only hang.spi takes this\r\n")], zipfile.ZIP_STORED))

# Chains whose levels need plug-ins of both widths, with double-byte names whose trail byte is '\':
# a zip holding a tar (also named for the plug-in that reads only files) holding a zip; that tar on
# disk; and, for the plug-ins that read only files, such a tar holding another.
chained_text = "表の中身".encode("cp932")
chained_tar = tar_bytes([("ソ/内.zip", zip_bytes([("表.txt", chained_text)]))])
# A short member that no plug-in reads, for a level handed on after a longer one.
write("表連鎖.zip", zip_bytes([("表/中.tar", chained_tar), ("表/中.xtar", chained_tar), ("表/小.bin", b"x" * 100)]))
write("表連鎖.tar", chained_tar)
write("表連鎖.xtar", tar_bytes([("ソ/内.dtar", tar_bytes([("表.txt", chained_text)]))]))

# Two outer archives of one size whose middle levels differ in one member's bytes: a kept chain
# must tell them apart. The same with a tar in the middle, which crosses to the 64-bit host.
def kept_outer(last, tar=False):
    members = [("a.txt", b"first member\r\n"), ("b.txt", b"second member\r\n"), ("c.txt", last)]
    if tar:
        return zip_bytes([("mid.tar", tar_bytes(members))], zipfile.ZIP_STORED)
    return zip_bytes([("mid.zip", zip_bytes(members, zipfile.ZIP_STORED))], zipfile.ZIP_STORED)


write("kept-a.zip", kept_outer(b"old bytes\r\n"))
write("kept-b.zip", kept_outer(b"new bytes\r\n"))
write("kept-tar-a.zip", kept_outer(b"old bytes\r\n", tar=True))
write("kept-tar-b.zip", kept_outer(b"new bytes\r\n", tar=True))

# Names that differ in case only, as Unix file systems and archives made there hold them: in one folder,
# Pack.zip and pack.zip, each holding Data.zip and data.zip, each holding an m.txt that names its path.
def cased(outer):
    return zip_bytes([(inner, zip_bytes([("m.txt", f"{outer}\\{inner}\r\n".encode())], zipfile.ZIP_STORED))
                      for inner in ("Data.zip", "data.zip")], zipfile.ZIP_STORED)


for outer in ("Pack.zip", "pack.zip"):
    write("cased/" + outer, cased(outer))

# For the plug-in with wide entry points, ZIP names in UTF-8: a code page 932 name whose 表 ends in the
# byte of '\\', a name outside code page 932, and decoys under lossy forms of that name as the plug-in's
# ANSI side lists it ("_" and a stray byte for each Hangul syllable: ｡ is 0xA1); none under "?" forms.
# wide-nested.zip holds it one level down.
wide = zip_bytes([("日本語/表.txt", "表の中身".encode("cp932")),
                  ("été/한국.txt", b"the member outside code page 932\r\n"),
                  ("ete/_｡_｡.txt", b"decoy\r\n"),
                  ("été/_｡_｡.txt", b"decoy\r\n")], zipfile.ZIP_STORED)
write("wide.zip", wide)
write("wide-nested.zip", zip_bytes([("表/wide.zip", wide)], zipfile.ZIP_STORED))
# The member outside code page 932 without decoys: a plug-in that lists it lossily lists it alone so.
# Beside them café.txt, whose best fit is the cafe.txt beside it.
write("lossy.zip", zip_bytes([("日本語/表.txt", "表の中身".encode("cp932")),
                              ("été/한국.txt", b"the member outside code page 932\r\n"),
                              ("café.txt", b"the cafe with an accent\r\n"),
                              ("cafe.txt", b"the plain cafe\r\n")], zipfile.ZIP_STORED))

# A "zip slip" archive: members whose stored names climb out of a folder or name no file a folder can
# hold, beside one that is harmless.
# trav.ozip is the same for the plug-in that writes members to disk only, under their stored names.
trav = zip_bytes([("x/../../evil.txt", b"climbed\r\n"), ("..", b"dots\r\n"), ("CON", b"device\r\n"),
                  ("a.", b"trailing dot\r\n"), ("ok.txt", b"harmless\r\n")], zipfile.ZIP_STORED)
write("trav.zip", trav)
write("trav.ozip", trav)

# What the members must come out as.
write("expect/readme.txt", readme)
write("expect/small.txt", small)
write("expect/big.bin", big)
write("expect/表.txt", "表の中身".encode("cp932"))
