#!/usr/bin/python3
"""The tray item over StatusNotifierItem, as a panel that never calls
AboutToShow sees it.

Runs on a private session bus (start it under dbus-run-session) with an X
server of its own (Xvfb). This script owns org.kde.StatusNotifierWatcher
and says a host is registered, starts the tool, and as soon as the tool
registers its item reads the item's properties and its menu's layout with
GetLayout, never calling AboutToShow. It checks that the menu holds "Exit"
already, that Id and Title are the tool's identity and not the executable's
name, and that choosing "Exit" through the menu's Event method ends the
tool.

With --no-tray nothing owns the watcher name and no X tray exists (plain
GNOME): the tool must say once, on standard error when no notification
server runs, that it is running all the same and how to quit."""
import argparse
import os
import shutil
import subprocess
import sys
import tempfile

import dbus
import dbus.service
from dbus.mainloop.glib import DBusGMainLoop
from gi.repository import GLib

WATCHER = "org.kde.StatusNotifierWatcher"
ITEM_IFACE = "org.kde.StatusNotifierItem"
MENU_IFACE = "com.canonical.dbusmenu"
PRODUCT = "Quembrastella USB-C Switch"
DESKTOP_ID = "org.quembrastella.switch"

INTROSPECTION = """<node>
 <interface name="org.freedesktop.DBus.Introspectable">
  <method name="Introspect"><arg type="s" direction="out"/></method>
 </interface>
 <interface name="org.freedesktop.DBus.Properties">
  <method name="Get"><arg type="s" direction="in"/><arg type="s" direction="in"/>
   <arg type="v" direction="out"/></method>
  <method name="GetAll"><arg type="s" direction="in"/><arg type="a{sv}" direction="out"/></method>
 </interface>
 <interface name="org.kde.StatusNotifierWatcher">
  <method name="RegisterStatusNotifierItem"><arg type="s" direction="in"/></method>
  <method name="RegisterStatusNotifierHost"><arg type="s" direction="in"/></method>
  <signal name="StatusNotifierItemRegistered"><arg type="s"/></signal>
  <property name="RegisteredStatusNotifierItems" type="as" access="read"/>
  <property name="IsStatusNotifierHostRegistered" type="b" access="read"/>
  <property name="ProtocolVersion" type="i" access="read"/>
 </interface>
</node>"""

failures = []
passes = []


def check(condition, what):
    print(("ok: " if condition else "FAILED: ") + what, flush=True)
    (passes if condition else failures).append(what)


class Watcher(dbus.service.Object):
    """Just enough of a watcher for an item to register with it."""

    def __init__(self, bus, on_item):
        super().__init__(bus, "/StatusNotifierWatcher")
        self.items = []
        self.on_item = on_item

    @dbus.service.method(WATCHER, in_signature="s", out_signature="",
                         sender_keyword="sender")
    def RegisterStatusNotifierItem(self, service, sender=None):
        # The argument is a bus name or an object path on the sender.
        if service.startswith("/"):
            name, path = sender, service
        else:
            name, path = service, "/StatusNotifierItem"
        self.items.append(name + path)
        self.StatusNotifierItemRegistered(name + path)
        GLib.idle_add(self.on_item, name, path)

    @dbus.service.method(WATCHER, in_signature="s", out_signature="")
    def RegisterStatusNotifierHost(self, service):
        pass

    @dbus.service.signal(WATCHER, signature="s")
    def StatusNotifierItemRegistered(self, item):
        pass

    # Clients that read the properties through introspection (Qt's dynamic
    # interfaces do) need them declared there.
    @dbus.service.method(dbus.INTROSPECTABLE_IFACE, in_signature="", out_signature="s")
    def Introspect(self):
        return INTROSPECTION

    @dbus.service.method(dbus.PROPERTIES_IFACE, in_signature="ss", out_signature="v")
    def Get(self, interface, prop):
        return self.GetAll(interface)[prop]

    @dbus.service.method(dbus.PROPERTIES_IFACE, in_signature="s", out_signature="a{sv}")
    def GetAll(self, interface):
        return {
            "RegisteredStatusNotifierItems": dbus.Array(self.items, signature="s"),
            "IsStatusNotifierHostRegistered": dbus.Boolean(True),
            "ProtocolVersion": dbus.Int32(0),
        }


def labels(layout):
    """The labels of the top level entries of a GetLayout answer."""
    _revision, (_id, _props, children) = layout
    out = []
    for child in children:
        child_id, props, _grandchildren = child
        out.append((int(child_id), str(props.get("label", "")), props))
    return out


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--tool", required=True)
    parser.add_argument("--timeout", type=int, default=60)
    parser.add_argument("--no-tray", action="store_true")
    args = parser.parse_args()

    DBusGMainLoop(set_as_default=True)
    bus = dbus.SessionBus()
    loop = GLib.MainLoop()
    work = tempfile.mkdtemp(prefix="qs-tray-test-")
    xvfb = None
    tool = None
    state = {"item": False, "exited": None}

    def on_item(name, path):
        state["item"] = True
        item = bus.get_object(name, path)
        props = dbus.Interface(item, dbus.PROPERTIES_IFACE)
        item_id = str(props.Get(ITEM_IFACE, "Id"))
        title = str(props.Get(ITEM_IFACE, "Title"))
        tooltip = props.Get(ITEM_IFACE, "ToolTip")
        exe = os.path.basename(args.tool)
        check(item_id in (PRODUCT, DESKTOP_ID), "Id is the product or its desktop ID: %r" % item_id)
        check(title == PRODUCT, "Title is the product name: %r" % title)
        check(str(tooltip[2]) == PRODUCT, "the tooltip's title is the product name: %r" % tooltip[2])
        check(exe not in (item_id, title), "the executable's name is neither Id nor Title")
        menu_path = props.Get(ITEM_IFACE, "Menu")
        menu = dbus.Interface(bus.get_object(name, menu_path), MENU_IFACE)
        # What a host that never calls AboutToShow sees.
        entries = labels(menu.GetLayout(0, -1, dbus.Array([], signature="s")))
        print("layout at registration: %r" % [label for _, label, _ in entries], flush=True)
        visible = [(i, label) for i, label, p in entries if bool(p.get("visible", True))]
        check([label for _, label in visible] == ["Exit"], "the menu holds just \"Exit\"")
        if visible:
            # Chosen as a panel sends it: the tool ends through its normal path.
            menu.Event(visible[0][0], "clicked", dbus.Int32(0), dbus.UInt32(0))
        GLib.timeout_add(100, wait_for_exit)
        return False

    def wait_for_exit():
        code = tool.poll()
        if code is None:
            return True
        state["exited"] = code
        loop.quit()
        return False

    def wait_for_no_tray_notice():
        log.seek(0)
        if "No tray on this desktop" in log.read():
            loop.quit()
            return False
        return True

    def time_out():
        print("timed out after %d s" % args.timeout, flush=True)
        loop.quit()
        return False

    try:
        if not args.no_tray:
            bus.request_name(WATCHER, dbus.bus.NAME_FLAG_DO_NOT_QUEUE)
            watcher = Watcher(bus, on_item)
        read_fd, write_fd = os.pipe()
        xvfb = subprocess.Popen(["Xvfb", "-displayfd", str(write_fd), "-nolisten", "tcp",
                                 "-screen", "0", "800x600x24"], pass_fds=(write_fd,),
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write_fd)
        with os.fdopen(read_fd) as f:
            display = ":" + f.readline().strip()
        home = os.path.join(work, "home")
        runtime = os.path.join(work, "run")
        os.makedirs(home)
        os.makedirs(runtime, mode=0o700)
        env = {k: v for k, v in os.environ.items() if k not in ("WAYLAND_DISPLAY", "QT_QPA_PLATFORM")}
        env.update({"QT_LOGGING_RULES": os.environ.get("QS_QT_LOGGING", ""), "DISPLAY": display, "HOME": home, "XDG_CONFIG_HOME": os.path.join(home, ".config"),
                    "XDG_RUNTIME_DIR": runtime, "XDG_CURRENT_DESKTOP": "XFCE"})
        # Under the sanitizers the toolkit's and D-Bus's process-wide caches
        # would count as leaks at exit; this test is about the menu, and the
        # unit tests check the tool's own memory.
        env["ASAN_OPTIONS"] = ":".join(filter(None, [env.get("ASAN_OPTIONS"), "detect_leaks=0"]))
        log = open(os.path.join(work, "tool.log"), "w+")
        tool = subprocess.Popen([args.tool, "--console", "--service"], env=env,
                                stdin=subprocess.DEVNULL, stdout=log, stderr=subprocess.STDOUT)
        GLib.timeout_add_seconds(args.timeout, time_out)
        if args.no_tray:
            GLib.timeout_add(200, wait_for_no_tray_notice)
        loop.run()
        log.seek(0)
        output = log.read()
        if args.no_tray:
            notice = [line for line in output.splitlines() if line.startswith("No tray on")]
            check(len(notice) == 1, "the tool said that no tray shows it")
            check(bool(notice) and "double-tap Q to quit" in notice[0], "the notice says how to quit")
            check(bool(notice) and "GNOME" in notice[0], "the notice names what GNOME needs")
            check(tool.poll() is None, "the tool keeps running without a tray")
        else:
            check(state["item"], "the tool registered its item with the watcher")
            check(state["exited"] == 0,
                  "\"Exit\" ended the tool with status 0 (got %r)" % state["exited"])
        check("Running..." in output, "the tool was running")
        if failures:
            print("--- the tool's output\n" + output, flush=True)
    finally:
        if tool is not None and tool.poll() is None:
            tool.kill()
            tool.wait()
        if xvfb is not None:
            xvfb.terminate()
            xvfb.wait()
        shutil.rmtree(work, ignore_errors=True)
    print("%d passed, %d failed" % (len(passes), len(failures)))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
