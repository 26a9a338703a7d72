"""The lorvane command-line tool: loan schedules, statement categorisation and rule derivation."""
