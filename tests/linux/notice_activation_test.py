#!/usr/bin/python3
"""A failure notice reaches a notification server that D-Bus starts on
demand, as mako and dunst are usually started.

Runs its own session bus whose service folder holds a stand-in
org.freedesktop.Notifications (this script with --serve), which nothing has
started. On an X server of its own it runs `--switch` as a desktop shortcut
does (standard error not a terminal) with no hub attached: the switch fails,
standard error keeps the full lines, and the notice, short and without
jargon, reaches the stand-in that D-Bus started for it."""
import argparse
import json
import os
import shutil
import subprocess
import sys
import tempfile
import time

sys.dont_write_bytecode = True  # nothing written beside the sources
import desktop_session  # noqa: E402

SERVICE = "org.freedesktop.Notifications"


def serve(out):
    """The stand-in server: records each Notify as a JSON line."""
    import dbus
    import dbus.service
    from dbus.mainloop.glib import DBusGMainLoop
    from gi.repository import GLib

    DBusGMainLoop(set_as_default=True)
    bus = dbus.SessionBus()

    class Server(dbus.service.Object):
        next_id = 1

        @dbus.service.method(SERVICE, in_signature="susssasa{sv}i", out_signature="u")
        def Notify(self, app, replaces, icon, summary, body, actions, hints, timeout):
            with open(out, "a") as f:
                f.write(json.dumps({"app": str(app), "replaces": int(replaces),
                                    "summary": str(summary), "body": str(body)}) + "\n")
            self.next_id += 1
            return dbus.UInt32(self.next_id - 1)

        @dbus.service.method(SERVICE, in_signature="", out_signature="as")
        def GetCapabilities(self):
            return ["body"]

    name = dbus.service.BusName(SERVICE, bus)
    Server(bus, "/org/freedesktop/Notifications")
    loop = GLib.MainLoop()
    GLib.timeout_add_seconds(30, loop.quit)
    loop.run()
    del name


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--tool")
    parser.add_argument("--serve")
    args = parser.parse_args()
    if args.serve:
        serve(args.serve)
        return 0

    work = tempfile.mkdtemp(prefix="qs-notice-test-")
    check = desktop_session.Checks()
    daemon = xvfb = None
    try:
        services = os.path.join(work, "services")
        os.makedirs(services)
        received = os.path.join(work, "received")
        with open(os.path.join(services, SERVICE + ".service"), "w") as f:
            f.write("[D-BUS Service]\nName=%s\nExec=/usr/bin/python3 %s --serve %s\n"
                    % (SERVICE, os.path.abspath(__file__), received))
        config = os.path.join(work, "bus.conf")
        with open(config, "w") as f:
            f.write("""<busconfig><type>session</type><listen>unix:dir=%s</listen>
<servicedir>%s</servicedir>
<policy context="default"><allow send_destination="*" eavesdrop="true"/>
<allow eavesdrop="true"/><allow own="*"/></policy></busconfig>""" % (work, services))
        daemon = subprocess.Popen(["dbus-daemon", "--config-file=" + config, "--nofork",
                                   "--print-address=1"], stdout=subprocess.PIPE, text=True)
        address = daemon.stdout.readline().strip()
        bus_env = dict(os.environ, DBUS_SESSION_BUS_ADDRESS=address)

        def bus_call(method, *call_args):
            return subprocess.run(["dbus-send", "--session", "--print-reply",
                                   "--dest=org.freedesktop.DBus", "/org/freedesktop/DBus",
                                   "org.freedesktop.DBus." + method] + list(call_args),
                                  env=bus_env, capture_output=True, text=True).stdout

        check(SERVICE in bus_call("ListActivatableNames"), "the stand-in can be activated")
        check("boolean false" in bus_call("NameHasOwner", "string:" + SERVICE),
              "nothing runs it yet")

        display, xvfb = desktop_session.start_xvfb("640x480x24")
        env = desktop_session.tool_env(bus_env, work, ("WAYLAND_DISPLAY", "QT_QPA_PLATFORM"))
        env["DISPLAY"] = display
        # As a desktop shortcut runs it: no terminal anywhere.
        run = subprocess.run([args.tool, "--switch"], env=env, stdin=subprocess.DEVNULL,
                             stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True,
                             timeout=60)
        check(run.returncode == 1, "the switch failed without a hub (status %d)" % run.returncode)
        check("USB device not found" in run.stderr or "failed" in run.stderr,
              "standard error keeps the full line: %r" % run.stderr)
        notices = []
        for _ in range(50):
            if os.path.exists(received):
                with open(received) as f:
                    notices = [json.loads(line) for line in f if line.strip()]
            if notices:
                break
            time.sleep(0.1)
        check(len(notices) == 1, "one notice reached the started server: %r" % notices)
        if notices:
            n = notices[0]
            check(n["summary"] in ("Hub not found", "Hub cannot be reached"),
                  "the summary says what failed: %r" % n["summary"])
            check(n["body"].endswith(".") and len(n["body"]) <= 80, "the body is one short fix: %r"
                  % n["body"])
            text = n["summary"] + n["body"]
            check(not any(j in text for j in ("VID", "PID", "USBDeviceOpen")), "no jargon")
            check(n["replaces"] == 0, "the first notice replaces none")
    finally:
        desktop_session.stop((xvfb, daemon))
        shutil.rmtree(work, ignore_errors=True)
    return check.summary()


if __name__ == "__main__":
    sys.exit(main())
