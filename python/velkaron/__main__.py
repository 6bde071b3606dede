"""``python -m velkaron``: the same command line as ``velkaron``."""

import sys

from velkaron.cli import main

if __name__ == "__main__":
    sys.exit(main(prog="python -m velkaron"))
