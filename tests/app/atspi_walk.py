# Walks the running dialer through AT-SPI, as a screen reader sees it: opened
# on a make-call screen, then Cancel, Add Telvane, Add with nothing typed (a
# message box) and OK. Every text field and list must be named by its label
# (or, the PIN, by its row's), the logo by the product, the number field
# described by its format, the box's text readable, and the Contacts and
# Recent Calls entries must announce their shortcuts. Usage: atspi_walk.py
# LANGUAGE (C or es).
import sys, time
import pyatspi

WORDS = {  # what a user presses and reads, in each language
    "C": ["Phone Number", "Cancel", "Add Telvane", "Add", "Card Name must not be blank", "OK"],
    "es": ["Teléfono", "Cancelar", "Añadir Telvane", "Añadir", "El nombre de la tarjeta no puede estar vacío",
           "Aceptar"],
}
number, cancel, add_card, add, blank, ok = WORDS[sys.argv[1]]
faults = []


def wait(find, what):  # for the event, up to a minute: a loaded machine is slow, never that slow
    end = time.monotonic() + 60
    while (found := find()) is None:
        if time.monotonic() > end:
            sys.exit(f"FAIL: no {what} in 60 s; seen: {dump()}")
        time.sleep(0.1)
    return found


def app():
    return next((a for a in pyatspi.Registry.getDesktop(0) if a is not None and a.name == "dialer"), None)


def nodes(root):
    yield root
    for child in root:
        if child is not None:
            yield from nodes(child)


def dump():
    a = app()
    return [] if a is None else [(n.getRoleName(), n.name) for n in nodes(a)]


def screen(must_hold):  # the window's screen once it shows a control named `must_hold`
    def find():
        for window in app() or []:
            if window.getRoleName() == "filler" and any(n.name == must_hold for n in nodes(window)):
                return window
    return wait(find, f"screen with {must_hold!r}")


def press(root, name):
    wait(lambda: next((n for n in nodes(root) if n.name == name and n.getRoleName() == "push button"), None),
         f"button {name!r}").queryAction().doAction(0)


def check(window):
    for n in nodes(window):
        if not n.getState().contains(pyatspi.STATE_VISIBLE):
            continue
        role = n.getRoleName()
        labels = [r.getTarget(0).name for r in n.getRelationSet()
                  if r.getRelationType() == pyatspi.RELATION_LABELLED_BY]
        # A list is named by its entry; its label comes through the relation, as readers expect here.
        if (role == "text" and (not n.name or labels not in ([], [n.name]))) or (
                role == "combo box" and labels in ([], [""])):
            faults.append(f"{role} named {n.name!r}, labelled by {labels}")
        if role == "image" and n.name != window.name:
            faults.append(f"logo named {n.name!r}")
        if role == "text" and n.name == number and not n.description.startswith("("):
            faults.append(f"number described as {n.description!r}")


call = screen(number)
check(call)
items = [n for n in nodes(call) if n.getRoleName() == "menu item"][1:]  # Phonebook's Contacts and Recent Calls
if len(items) != 2 or not all(n.queryAction().getKeyBinding(0) for n in items):
    faults.append(f"a menu entry announces no shortcut: {[(n.name, n.queryAction().getKeyBinding(0)) for n in items]}")
press(call, cancel)
press(screen(add_card), add_card)
form = screen(add)
check(form)
press(form, add)
box = wait(lambda: next((w for w in app() if w.getRoleName() == "alert"), None), "message box")
if not any(n.name == blank for n in nodes(box)):
    faults.append(f"box reads {[n.name for n in nodes(box)]}")
press(box, ok)
print("\n".join(f"FAIL: {f}" for f in faults) or "screens, fields, logo, box and shortcut read as expected")
sys.exit(1 if faults else 0)
