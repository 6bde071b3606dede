"""Small helpers shared by the test modules."""


def label(node):
    """An element's id when it has one, else its name: enough to read a result list at a glance."""
    return node.get_attribute("id") or node.get_name()


def labels(nodes):
    return [label(node) for node in nodes]


def tokens(nodes):
    """Identity tokens of the parser nodes behind a result list."""
    return [node.get_gumbo_node() for node in nodes]


def body_of(root):
    return next(child for child in root.get_children() if child.get_name() == "body")


def start_node(root, where):
    """The start node for a search run 'at_root' (the root element) or 'below_root' (body)."""
    return root if where == "at_root" else body_of(root)


# Holds every kind of node that searches must not enter: a template (with a matching element
# inside), text and a comment, all inside the one div.
NON_ELEMENT_DOC = (
    "<div id='d' class='c'><template><p id='in' class='c'>t</p></template>"
    "<p id='p' class='c' title='t'>text</p><!--note--></div>"
)


def non_element_starts(root):
    """For a tree of NON_ELEMENT_DOC: one node of each kind that no search walk enters."""
    div = root.find_all_ultra_fast("div")[0]
    template, paragraph, comment = div.get_children()
    return {
        "document": root.get_parent(),
        "text": paragraph.get_children()[0],
        "comment": comment,
        "template": template,
    }


def describe(node):
    """A node's kind and name, the way the navigation tests read a list of nodes."""
    if node.is_document():
        return "#document"
    if node.is_element():
        return node.get_name()
    if node.is_text():
        return "text:" + node.get_text()
    return "#other"  # comment, CDATA or template
