import sys

from lorvane_cli.main import main

sys.exit(main())
