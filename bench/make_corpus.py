#!/usr/bin/env python3
"""Builds a Windows-like system folder for the folder-scan benchmark.

drive_c/WINDOWS/system32 gets real PE files (Wine's DLLs, when installed),
thousands of generated files of mixed sizes with the patterns planted in a
few of them, and a few large files; registry/ makes it a scannable system.
"""
import os
import random
import shutil
import sys

PATTERNS = [
    "hotbar", "CoolWebSearch", "180solutions", "zango", "bargain buddy", "gator.com",
    "claria", "winfixer", "smitfraud", "vundo", "virtumonde", "searchbar", "istbar",
    "xxxtoolbar", "mywebsearch", "funwebproducts", "webhancer", "new.net", "cydoor",
    "ezula", "bridgetrack", "dyfuca", "searchmeup", "spyaxe", "spyfalcon", "winantivirus",
    "antivirusgold", "look2me", "sidefind", "topantispyware", "whenu", "savenow",
    "2020search", "a-d-w-a-r-e", "about:blank-hijack", "adaware-fake", "adrotator",
    "aurora-adware", "avenuea", "baidubar", "begin2search", "bestoffers", "blazefind",
    "boomerangbar", "btgrab", "casinobar", "clicksor", "cometcursor", "commonname",
    "coupon-bar", "crackedbar", "deskwizz", "dealio", "directrevenue", "drpmon",
    "e2give", "ebatesmoe", "elitebar", "enhancetron", "errorsafe", "excitebar",
    "exploitbar", "fastfind", "findwhat", "flingstone", "freescratch", "gameztoolbar",
    "globalsearch", "hijacker-x", "hotsearchbar", "httpbar", "hxdl", "iefeats",
    "ieplugin.dll", "internet-optimizer", "istsvc", "jeired", "kazaa-bundle", "keenvalue",
    "lop.com", "lycos-sidesearch", "magicsearch", "matrixbar", "maxifiles", "mirar",
    "mxtarget", "mysearch.com", "navexcel", "netpal", "newdotnet", "offeroptimizer",
    "oneclick-search", "onlinedialer", "pacerd", "peoplepc-bar", "perfectnav", "popuper",
    "powersearch", "precisiontime", "purityscan", "qcbar", "rapidblaster", "rnsearch",
    "safesurfing", "save.exe", "searchcentrix", "searchitbar", "searchsquire",
    "shopathome", "sidestep", "slotchbar", "smartshopper", "sp-updater", "spyblast",
    "spydawn", "spyguard", "spylocked", "spysheriff", "spywareno", "spywarestrike",
    "starware", "surfsidekick", "targetsaver", "teekids", "thinstall-adware",
    "timesink", "toolbar888", "topsearch", "trafficsyndicate", "trojan.qhost",
    "trustin.bar", "ucmore", "urlblaze", "vmn-bho", "w32.spybot", "web-nexus",
    "webbuying", "websearch.toolbar", "winad", "windupdates", "winsoftware",
    "wintools", "wurldmedia", "xpantivirus", "yazzle", "ysbweb", "zenosearch",
    "zeroclick", "zquest", "adult-links", "aproposmedia", "bho.dll-adware", "dnschanger",
    "bookedspace", "browseraid", "clearsearch", "drsmartload", "ebates", "eorezo",
    "everav", "fullcontext", "hotoffers", "huntbar", "ieaccess", "incredifind",
    "ioctrl", "lookquick", "maxsearch", "metadirect", "mindset", "mysearchbar",
    "networkessentials", "nicetech", "paltalk-bundle", "peopleonpage", "pornpopups",
    "powerscan", "quickflicks", "rotator.exe", "searchbarcash", "searchex",
    "seekseek", "spyaway", "sysprotect", "telco-dialer", "totalvelocity",
    "uplink.exe", "virusburst", "wildtangent-adware", "winreanimator", "wsearch",
]


def main(out):
    rnd = random.Random(20261211)
    root = os.path.join(out, "drive_c", "WINDOWS", "system32")
    if os.path.isdir(out):
        shutil.rmtree(out)
    os.makedirs(os.path.join(root, "drivers", "etc"))
    os.makedirs(os.path.join(out, "registry"))
    with open(os.path.join(out, "patterns.txt"), "w") as f:
        f.write("\r\n".join(PATTERNS[:200]) + "\r\n")
    with open(os.path.join(out, "registry", "00-system.reg"), "w") as f:
        f.write('REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion]\r\n'
                '"SystemRoot"="C:\\\\WINDOWS"\r\n"ProductName"="Microsoft Windows XP"\r\n\r\n'
                '[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion]\r\n'
                '"ProgramFilesDir"="C:\\\\Program Files"\r\n')
    wine = "/usr/lib/x86_64-linux-gnu/wine/x86_64-windows"
    copied = 0
    if os.path.isdir(wine):
        for name in sorted(os.listdir(wine))[:400]:
            src = os.path.join(wine, name)
            if os.path.isfile(src):
                shutil.copy(src, os.path.join(root, name))
                copied += 1
    words = [p.encode() for p in PATTERNS]
    filler = bytes(rnd.getrandbits(8) for _ in range(1 << 20))
    for i in range(3000):
        folder = root if i % 3 else os.path.join(root, "drivers", "sub%d" % (i % 40))
        os.makedirs(folder, exist_ok=True)
        size = int(rnd.paretovariate(1.2) * 4000) % 400000
        start = rnd.randrange(0, len(filler) - size - 1)
        data = bytearray(filler[start:start + size])
        if i % 50 == 0 and size > 100:
            word = rnd.choice(words)
            at = rnd.randrange(0, size - len(word)) if size > len(word) else 0
            data[at:at + len(word)] = word.upper() if i % 100 == 0 else word
        with open(os.path.join(folder, "file%04d.%s" % (i, rnd.choice(["dll", "exe", "dat", "txt", "sys"]))), "wb") as f:
            f.write(data)
    for i in range(3):
        with open(os.path.join(root, "large%d.bin" % i), "wb") as f:
            for _ in range(64):
                f.write(filler)
    with open(os.path.join(root, "drivers", "etc", "hosts"), "w") as f:
        f.write("127.0.0.1 localhost\r\n127.0.0.1 www.hotbar.com\r\n")
    print("corpus: %d PE files copied, 3000 generated, 3 x 64 MB" % copied)


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else "build/bench-corpus")
