"""Applications as the accessibility bus sees them, read through pyatspi's library (gi), to compare
with what the engine reads.

Runs under /usr/bin/python3, which has python3-gi.
"""

from desktop import wait_for


def _atspi():
    import gi

    gi.require_version("Atspi", "2.0")
    from gi.repository import Atspi

    Atspi.init()
    return Atspi


def accessible_app(pid, timeout=5):
    """The application of process pid on the accessibility bus, waiting until it shows up."""
    Atspi = _atspi()

    def lookup():
        desktop = Atspi.get_desktop(0)
        for index in range(desktop.get_child_count()):
            app = desktop.get_child_at_index(index)
            try:
                if app is not None and app.get_process_id() == pid:
                    return app
            except Exception:  # an application that went away while we looked
                continue
        return None

    return wait_for(lookup, timeout, 0.05)


def walk_accessibles(root, limit=2000):
    """Yields root and its descendants, breadth first, at most limit of them."""
    pending = [root]
    seen = 0
    while pending and seen < limit:
        node = pending.pop(0)
        seen += 1
        yield node
        try:
            count = node.get_child_count()
        except Exception:
            continue
        for index in range(count):
            child = node.get_child_at_index(index)
            if child is not None:
                pending.append(child)


def find_accessible(pid, role_name=None, name=None, timeout=5):
    """The first accessible of process pid with that role name ("text", "password text"...) and name."""
    def lookup():
        app = accessible_app(pid, timeout=0)
        if app is None:
            return None
        for node in walk_accessibles(app):
            try:
                if (role_name is None or node.get_role_name() == role_name) and (name is None or node.get_name() == name):
                    return node
            except Exception:
                continue
        return None

    return wait_for(lookup, timeout, 0.05)
