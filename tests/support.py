"""How a node reads in a table, for the test modules."""

import velkaron


def label(node):
    """An element's id, else its name; other kinds by what they are."""
    if node is None:
        return None
    if node.is_element():
        return node.get_attribute("id") or node.get_name()
    if node.is_text():
        return "text:" + node.get_text()
    return "#document" if node.is_document() else "#other"


def render(value):
    """A result as a case file writes it: nodes by label, lists element-wise."""
    if isinstance(value, velkaron.Node):
        return label(value)
    if isinstance(value, (list, tuple)):
        return [render(item) for item in value]
    return value
