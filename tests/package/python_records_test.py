"""The Python binding's ctypes records lie over the driver's: the same fields in the same order, at the
same offsets and of the same sizes, as the program given as the first argument prints them from the
records' one list of fields."""
import ctypes
import subprocess
import sys

import smartdriver


def layout(record):
    fields = ["%s:%d:%d" % (name, getattr(record, name).offset, getattr(record, name).size)
              for name, _ in record._fields_]
    return " ".join([record.__name__, str(ctypes.sizeof(record))] + fields)


expected = subprocess.run([sys.argv[1]], check=True, capture_output=True, text=True).stdout.splitlines()
wrong = [(want, layout(getattr(smartdriver, want.split()[0]))) for want in expected]
wrong = [(want, got) for want, got in wrong if want != got]
for want, got in wrong:
    print("driver: %s\npython: %s" % (want, got))
sys.exit(1 if wrong or not expected else 0)
