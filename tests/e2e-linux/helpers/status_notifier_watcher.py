"""A dbusmock template for a tray host's StatusNotifierWatcher: a host is
there, and the items' registrations go to the mock's call log."""

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
