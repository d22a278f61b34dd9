"""A dbusmock template standing in for a tray host's StatusNotifierWatcher:
it says that a host is there and takes the items' registrations, which the
mock's call log keeps.

    python3 -m dbusmock --template tests/e2e-linux/helpers/status_notifier_watcher.py
"""

import dbus

BUS_NAME = "org.kde.StatusNotifierWatcher"
MAIN_OBJ = "/StatusNotifierWatcher"
MAIN_IFACE = "org.kde.StatusNotifierWatcher"
SYSTEM_BUS = False


def load(mock, parameters):
    mock.AddMethods(MAIN_IFACE, [("RegisterStatusNotifierItem", "s", "", ""),
                                 ("RegisterStatusNotifierHost", "s", "", "")])
    mock.AddProperties(MAIN_IFACE, {"IsStatusNotifierHostRegistered": dbus.Boolean(True),
                                    "ProtocolVersion": dbus.Int32(0),
                                    "RegisteredStatusNotifierItems": dbus.Array([], signature="s")})
