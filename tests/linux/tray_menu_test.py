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
server runs, that it is running all the same and how to quit; a notice
(here: a mistake in the settings) must reach standard error too, not a tray
icon nobody shows.

With --wayland the display is a headless Wayland compositor (sway, run as
an unprivileged user when this runs as root, as sway refuses root) and no X
server runs: the item must register just the same. With --no-wayland-plugin
as well, the tool runs from a copy whose qt.conf points Qt at a plugin tree
without the Wayland platform plugin: it must say so in one line and run on
without a tray.

With --icons DIR (the source's hicolor tree) the icon theme has the tool's
icon, and the panel must get it by its theme name; without, it gets the
picture."""
import argparse
import glob
import os
import pwd
import shutil
import subprocess
import sys
import tempfile
import time

import dbus
import dbus.service
from dbus.mainloop.glib import DBusGMainLoop
from gi.repository import GLib

sys.dont_write_bytecode = True  # nothing written beside the sources
import desktop_session  # noqa: E402

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

check = desktop_session.Checks()


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


def start_compositor(work):
    """A headless sway without Xwayland; its socket's absolute path."""
    folder = os.path.join(work, "wayland")
    os.makedirs(folder, mode=0o700)
    config = os.path.join(folder, "config")
    with open(config, "w") as f:
        f.write("xwayland disable\noutput HEADLESS-1 resolution 800x600\n")
    command = ["sway", "-c", config]
    if os.getuid() == 0:
        os.chmod(work, 0o711)  # the compositor's user must reach its folder
        nobody = pwd.getpwnam("nobody")
        for path in (folder, config):
            os.chown(path, nobody.pw_uid, nobody.pw_gid)
        command = ["setpriv", "--reuid=%d" % nobody.pw_uid, "--regid=%d" % nobody.pw_gid,
                   "--clear-groups"] + command
    env = {"PATH": os.environ.get("PATH", "/usr/bin:/bin"), "HOME": folder,
           "XDG_RUNTIME_DIR": folder, "WLR_BACKENDS": "headless",
           "WLR_LIBINPUT_NO_DEVICES": "1", "WLR_RENDERER": "pixman"}
    compositor = subprocess.Popen(command, env=env, stdout=subprocess.DEVNULL,
                                  stderr=subprocess.DEVNULL)
    for _ in range(100):
        sockets = [p for p in glob.glob(os.path.join(folder, "wayland-*"))
                   if not p.endswith(".lock")]
        if sockets:
            return sockets[0], compositor
        if compositor.poll() is not None:
            break
        time.sleep(0.1)
    raise RuntimeError("the compositor did not start")


def install_icons(source, icons):
    """The tool's hicolor tree, with the index a theme needs to be searched
    (the one hicolor-icon-theme installs lists these folders too)."""
    shutil.copytree(source, icons)
    theme = os.path.join(icons, "hicolor")
    folders = sorted(os.path.relpath(os.path.dirname(p), theme)
                     for p in glob.glob(os.path.join(theme, "*", "apps", "*")))
    with open(os.path.join(theme, "index.theme"), "w") as f:
        f.write("[Icon Theme]\nName=Hicolor\nDirectories=%s\n" % ",".join(folders))
        for folder in folders:
            size = folder.split("/")[0]
            if size in ("scalable", "symbolic"):
                f.write("\n[%s]\nSize=16\nMinSize=8\nMaxSize=512\nType=Scalable\n" % folder)
            else:
                f.write("\n[%s]\nSize=%s\nType=Fixed\n" % (folder, size.split("x")[0]))


def copy_without_wayland_plugin(tool, work):
    """The tool and its module copied beside a qt.conf whose plugin tree has
    every plugin of this Qt but the Wayland platform plugins."""
    folder = os.path.join(work, "bin")
    os.makedirs(folder)
    for path in [tool] + glob.glob(os.path.join(os.path.dirname(tool), "*.so")):
        shutil.copy2(path, folder)
    qt_plugins = subprocess.run(["/usr/lib/qt6/bin/qtpaths6", "--plugin-dir"], check=True,
                                capture_output=True, text=True).stdout.strip()
    plugins = os.path.join(work, "plugins")
    os.makedirs(os.path.join(plugins, "platforms"))
    for entry in os.listdir(qt_plugins):
        if entry != "platforms":
            os.symlink(os.path.join(qt_plugins, entry), os.path.join(plugins, entry))
    for plugin in glob.glob(os.path.join(qt_plugins, "platforms", "*.so")):
        if "wayland" not in os.path.basename(plugin):
            os.symlink(plugin, os.path.join(plugins, "platforms", os.path.basename(plugin)))
    with open(os.path.join(folder, "qt.conf"), "w") as f:
        f.write("[Paths]\nPlugins=%s\n" % plugins)
    return os.path.join(folder, os.path.basename(tool))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--tool", required=True)
    parser.add_argument("--timeout", type=int, default=60)
    parser.add_argument("--no-tray", action="store_true")
    parser.add_argument("--wayland", action="store_true")
    parser.add_argument("--no-wayland-plugin", action="store_true")
    parser.add_argument("--icons")
    args = parser.parse_args()

    DBusGMainLoop(set_as_default=True)
    bus = dbus.SessionBus()
    loop = GLib.MainLoop()
    work = tempfile.mkdtemp(prefix="qs-tray-test-")
    xvfb = None
    compositor = None
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
        # Qt takes both from the application name, which is the desktop ID:
        # the X11 window class must match the installed entry.
        check(item_id == DESKTOP_ID, "Id is the desktop ID: %r" % item_id)
        check(title == DESKTOP_ID, "Title is the desktop ID: %r" % title)
        check(str(tooltip[2]) == PRODUCT, "the tooltip's title is the product name: %r" % tooltip[2])
        check(exe not in (item_id, title), "the executable's name is neither Id nor Title")
        icon_name = str(props.Get(ITEM_IFACE, "IconName"))
        pixmaps = props.Get(ITEM_IFACE, "IconPixmap")
        if args.icons:
            check(icon_name == DESKTOP_ID, "the panel gets the icon by its theme name: %r" % icon_name)
        else:
            check(len(pixmaps) > 0, "without the theme the panel gets the picture (%d sizes)" % len(pixmaps))
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

    def wait_for_plugin_line():
        log.seek(0)
        if "Wayland platform plugin is not installed" in log.read():
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
        env = desktop_session.tool_env(os.environ, work, ("WAYLAND_DISPLAY", "DISPLAY",
                                                          "QT_QPA_PLATFORM", "XDG_DATA_DIRS"))
        if args.wayland:
            wayland_socket, compositor = start_compositor(work)
        else:
            display, xvfb = desktop_session.start_xvfb("800x600x24")
        env.update({"QT_LOGGING_RULES": os.environ.get("QS_QT_LOGGING", ""),
                    "XDG_CURRENT_DESKTOP": "XFCE",
                    # Only this test's icons (or none) in the theme.
                    "XDG_DATA_DIRS": os.path.join(work, "share")})
        if args.wayland:
            env["WAYLAND_DISPLAY"] = wayland_socket
        else:
            env["DISPLAY"] = display
        if args.icons:
            install_icons(args.icons, os.path.join(work, "share", "icons"))
            # Qt's theme for Xfce is Adwaita, which this bare share lacks;
            # the generic one is hicolor itself.
            del env["XDG_CURRENT_DESKTOP"]
        tool_path = args.tool
        if args.no_wayland_plugin:
            tool_path = copy_without_wayland_plugin(args.tool, work)
        if args.no_tray:
            # A mistake in the settings: its notice has no server and no tray
            # host to show it, so it must come out on standard error.
            settings = os.path.join(env["HOME"], ".config", "quembrastella-switch")
            os.makedirs(settings)
            with open(os.path.join(settings, "config.toml"), "w") as f:
                f.write("double_tap_ms = \"soon\"\n")
        log = open(os.path.join(work, "tool.log"), "w+")
        tool = subprocess.Popen([tool_path, "--console", "--service"], env=env,
                                stdin=subprocess.DEVNULL, stdout=log, stderr=subprocess.STDOUT)
        GLib.timeout_add_seconds(args.timeout, time_out)
        if args.no_tray:
            GLib.timeout_add(200, wait_for_no_tray_notice)
        if args.no_wayland_plugin:
            GLib.timeout_add(200, wait_for_plugin_line)
        loop.run()
        log.seek(0)
        output = log.read()
        if args.no_wayland_plugin:
            said = [line for line in output.splitlines() if "Wayland platform plugin" in line]
            check(len(said) == 1, "one line names the missing Wayland plugin")
            check(bool(said) and "qt6-wayland" in said[0], "the line names the package: %r" % said)
            check(not state["item"], "no item without a display Qt can open")
            check(tool.poll() is None, "the tool runs on without a tray")
        elif args.no_tray:
            notice = [line for line in output.splitlines() if line.startswith("No tray on")]
            check(len(notice) == 1, "the tool said that no tray shows it")
            check(bool(notice) and "double-tap Q to quit" in notice[0], "the notice says how to quit")
            check(bool(notice) and "GNOME" in notice[0], "the notice names what GNOME needs")
            check(tool.poll() is None, "the tool keeps running without a tray")
            check(any(line.startswith("Settings: one mistake: ~/.config/quembrastella-switch/")
                      for line in output.splitlines()),
                  "the settings notice reached standard error")
        else:
            check(state["item"], "the tool registered its item with the watcher")
            check(state["exited"] == 0,
                  "\"Exit\" ended the tool with status 0 (got %r)" % state["exited"])
        check("Running..." in output, "the tool was running")
        if check.failures:
            print("--- the tool's output\n" + output, flush=True)
    finally:
        if tool is not None and tool.poll() is None:
            tool.kill()
            tool.wait()
        desktop_session.stop((xvfb, compositor))
        shutil.rmtree(work, ignore_errors=True)
    return check.summary()


if __name__ == "__main__":
    sys.exit(main())
