#!/usr/bin/python3
"""What a screen reader finds of the player, through AT-SPI (the accessibility bus).

  atspi.py dump APP            the application's tree: one line per object,
                               depth, role, name and description, tab-separated
  atspi.py listen APP SECONDS  the names that objects of APP take while it listens, one
                               per line, "role<TAB>name" (flushed as they come)
"""
import sys

import pyatspi
from gi.repository import GLib


def application(name):
    desktop = pyatspi.Registry.getDesktop(0)
    for app in desktop:
        if app is not None and app.name == name:
            return app
    names = [app.name for app in desktop if app is not None]
    sys.exit("no application %r on the accessibility bus, only %s" % (name, names))


def dump(node, depth=0):
    print("%d\t%s\t%s\t%s" % (depth, node.getRoleName(), node.name, node.description))
    if depth < 12:
        for child in node:
            if child is not None:
                dump(child, depth + 1)


def listen(name, seconds):
    application(name)  # there before listening

    def heard(event):
        try:
            if event.host_application.name != name:
                return
            print("%s\t%s" % (event.source.getRoleName(), event.source.name), flush=True)
        except Exception:  # an object gone meanwhile: nothing to say of it
            pass

    pyatspi.Registry.registerEventListener(heard, "object:property-change:accessible-name")
    GLib.timeout_add(int(float(seconds) * 1000), pyatspi.Registry.stop)
    print("listening", flush=True)
    pyatspi.Registry.start()


if __name__ == "__main__":
    if sys.argv[1] == "dump":
        dump(application(sys.argv[2]))
    elif sys.argv[1] == "listen":
        listen(sys.argv[2], sys.argv[3])
    else:
        sys.exit(__doc__)
