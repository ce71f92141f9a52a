#!/usr/bin/env python3
"""A null-modem cable between two pseudo-terminals for a Windows program under
wine: maps COM5 and COM6 to the two slave ends (HKLM\\Software\\Wine\\Ports),
relays every byte between the masters, and runs the given command line with
{listener} and {source} replaced by the COM port names; exits with its status.

serial_cable.py WINE_RUN WINDOWS_BUILD PROGRAM ARGS...
"""
import os
import pty
import selectors
import subprocess
import sys
import threading
import tty

wine_run, build, program, *args = sys.argv[1:]


def open_pair():
    master, slave = pty.openpty()
    tty.setraw(slave)
    return master, slave, os.ttyname(slave)


pairs = {"COM5": open_pair(), "COM6": open_pair()}
masters = [pairs["COM5"][0], pairs["COM6"][0]]
prefix = os.path.join(os.path.realpath(build), "wineprefix")
env = dict(os.environ, WINEPREFIX=prefix, WINEDEBUG="-all")
wine = os.environ.get("WINE", "/usr/lib/wine/wine64")
os.makedirs(os.path.join(prefix, "dosdevices"), exist_ok=True)
for name, (_, _, path) in pairs.items():
    # The registry key is what wine reads at its start; the dosdevices link is
    # what a running wineserver already follows.
    subprocess.run([wine, "reg", "add", "HKLM\\Software\\Wine\\Ports", "/v", name, "/d", path, "/f"],
                   env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=False)
    link = os.path.join(prefix, "dosdevices", name.lower())
    if os.path.lexists(link):
        os.remove(link)
    os.symlink(path, link)

stop = threading.Event()


def relay():
    selector = selectors.DefaultSelector()
    for fd in masters:
        selector.register(fd, selectors.EVENT_READ)
    while not stop.is_set():
        for key, _ in selector.select(0.5):
            try:
                data = os.read(key.fd, 4096)
            except OSError:
                continue
            other = masters[1] if key.fd == masters[0] else masters[0]
            os.write(other, data)


thread = threading.Thread(target=relay, daemon=True)
thread.start()
command = [a.replace("{listener}", "COM5").replace("{source}", "COM6") for a in args]
result = subprocess.run([wine_run, build, program, *command], env=env)
stop.set()
sys.exit(result.returncode)
