"""The card-terminal driver from Python, through its flat C interface (libsmartdriver-c) and ctypes.

    import smartdriver
    with smartdriver.Driver("/usr/lib/libsmartdriver.so") as driver:
        line = driver.discount("M", 1, 2, 100.0)
        print(line.NumberCard.text, line.SummaSk)

Each operation returns the record the driver filled (CardInfo, DiscountResult, CashlessResult, laid out
byte for byte as the driver's SDK declares them) or raises a subclass of Error, one per kind of failure
(Refused, TimeOut, CommunicationError, ArgumentError, IOFailure, NotSupported, LoadError, OtherError),
with the operator message and whatever the driver had written into the record.
"""
import ctypes
import numbers
import os
import sys

# The C interface's return codes (smartdriver/smartdriver_c.h).
OK, OTHER, UNKNOWN, LOAD, ARGUMENT, REFUSED, TIMEOUT, COMMUNICATION, IO, NOT_SUPPORTED = range(10)
FAILED = OTHER  # the earlier name
_ENCODINGS = {"utf-8": (0, "utf-8"), "cp1251": (1, "cp1251")}
_MESSAGE_SIZE = 512


def _text_type(capacity):
    class Text(ctypes.Structure):
        """A length-prefixed Windows-1251 text of the driver's records."""
        _pack_ = 1
        _fields_ = [("length", ctypes.c_uint8), ("chars", ctypes.c_uint8 * capacity)]

        @property
        def text(self):
            return bytes(self.chars[:min(self.length, capacity)]).decode("cp1251", "replace")

    return Text


class CardInfo(ctypes.Structure):
    _pack_ = 1
    _fields_ = [("Flag", ctypes.c_uint8), ("CardHead", _text_type(4)), ("CardTail", _text_type(6)),
                ("Unused13", ctypes.c_uint8 * 3), ("Value16", ctypes.c_uint8 * 8), ("ValidUntil", ctypes.c_double),
                ("Amount32", ctypes.c_double), ("Amount40", ctypes.c_double), ("Amount48", ctypes.c_double),
                ("Amount56", ctypes.c_double)]


class DiscountResult(ctypes.Structure):
    _pack_ = 1
    _fields_ = [("Flag", ctypes.c_uint8), ("Unused1", ctypes.c_uint8), ("TypeOper", ctypes.c_char),
                ("Byte3", ctypes.c_uint8), ("Byte4", ctypes.c_uint8), ("Unused5", ctypes.c_uint8 * 4),
                ("NumberCard", _text_type(16)), ("Unused26", ctypes.c_uint8 * 6), ("SummaSk", ctypes.c_double),
                ("Summa", ctypes.c_double), ("Price", ctypes.c_double), ("CosteSk", ctypes.c_double),
                ("Skidka", ctypes.c_double)]


class CashlessResult(ctypes.Structure):
    _pack_ = 1
    _fields_ = [("Flag", ctypes.c_uint8), ("Byte1", ctypes.c_uint8), ("Unused2", ctypes.c_uint8 * 8),
                ("NumberCard", _text_type(20)), ("Unused31", ctypes.c_uint8 * 121), ("SummaSk", ctypes.c_double),
                ("Skidka", ctypes.c_double), ("PriceSk", ctypes.c_double)]


# The records' sizes are part of the driver's contract; a wrong declaration here must not go unnoticed.
assert (ctypes.sizeof(CardInfo), ctypes.sizeof(DiscountResult), ctypes.sizeof(CashlessResult)) == (64, 72, 176)


class Error(Exception):
    """A failed call: code (one of the return codes above), the message as text and as the bytes the
    interface returned, and the record as the driver left it (None for a call without one). Catch a
    subclass to act on one kind of failure, or Error for all of them."""

    def __init__(self, code, message, raw=b"", record=None):
        super().__init__(message)
        self.code, self.message, self.raw, self.record = code, message, raw, record


class Refused(Error):
    """The server answered and did not approve the operation: do not repeat it as it is."""


class TimeOut(Error):
    """No reply came within the wait. The server may have done the operation: check before repeating."""


class CommunicationError(Error):
    """No connection, a hang-up, a damaged reply or a failed exchange: nothing was approved."""


class ArgumentError(Error, ValueError):
    """An argument the wire cannot carry (a wallet outside 0..255, an amount that is not a finite number
    or does not fit, a card number that is not 1 to 10 digits, ...), refused before anything was sent."""


class IOFailure(Error, OSError):
    """The operation log or the settings file could not be read or written."""


class NotSupported(Error):
    """The driver does not implement the operation."""


class LoadError(Error):
    """The driver library could not be loaded, lacks GeTDriver, or GeTDriver failed."""


class OtherError(Error):
    """A failure of none of the kinds above (or not a failure with a message)."""


DriverError = Error  # the earlier name
_ERRORS = {REFUSED: Refused, TIMEOUT: TimeOut, COMMUNICATION: CommunicationError, ARGUMENT: ArgumentError,
           IO: IOFailure, NOT_SUPPORTED: NotSupported, LOAD: LoadError}


def _error(code, message, raw=b"", record=None):
    return _ERRORS.get(code, OtherError)(code, message, raw, record)


def _int(name, value):
    """An integer as a C int, or ArgumentError: the C interface checks the range itself."""
    if isinstance(value, bool) or not isinstance(value, numbers.Integral):
        raise _error(ARGUMENT, "%s %r is not an integer" % (name, value))
    if not -2 ** 31 <= value < 2 ** 31:
        raise _error(ARGUMENT, "%s %d is outside 0..255" % (name, value))
    return int(value)


def _real(name, value):
    """A number as a C double, or ArgumentError; whether it is finite and fits is the C interface's check."""
    if isinstance(value, bool) or not isinstance(value, numbers.Real):
        raise _error(ARGUMENT, "%s %r is not a number" % (name, value))
    return float(value)


def _shared_library_name(name):
    return name + ".dll" if sys.platform == "win32" else "lib" + name + ".so"


def _load_interface(path):
    c = ctypes.CDLL(path)
    msg = [ctypes.c_char_p, ctypes.c_size_t]
    handle, integer, dbl, text = ctypes.c_void_p, ctypes.c_int, ctypes.c_double, ctypes.c_char_p
    signatures = {
        "sd_open": [text, ctypes.c_int, ctypes.POINTER(ctypes.c_void_p)] + msg,
        "sd_version": [handle, ctypes.c_char_p, ctypes.c_size_t] + msg,
        "sd_card_info": [handle, integer, ctypes.POINTER(CardInfo)] + msg,
        "sd_blank_card_info": [handle, ctypes.POINTER(CardInfo)] + msg,
        "sd_discount": [handle, ctypes.c_char, integer, dbl, dbl, text, ctypes.POINTER(DiscountResult)] + msg,
        "sd_forward_discount": [handle, ctypes.c_char, integer, dbl, dbl, text, text,
                                ctypes.POINTER(DiscountResult)] + msg,
        "sd_cashless_sale": [handle, integer, dbl, dbl, ctypes.POINTER(CashlessResult)] + msg,
        "sd_cashless_return": [handle, text, integer, dbl, dbl, ctypes.POINTER(CashlessResult)] + msg,
    }
    for name, args in signatures.items():
        getattr(c, name).argtypes = args
        getattr(c, name).restype = ctypes.c_int
    c.sd_close.argtypes, c.sd_close.restype = [handle], None
    return c


class Driver:
    """One load of the driver library. library: the driver's path. c_library: the C interface's path;
    by default $SMARTDRIVER_C_LIBRARY, else the one beside the driver, else the system's. encoding:
    "utf-8" or "cp1251", how texts cross the C interface (Python sees str either way)."""

    def __init__(self, library, c_library=None, encoding="utf-8"):
        self._code, self._codec = _ENCODINGS[encoding]
        if c_library is None:
            c_library = os.environ.get("SMARTDRIVER_C_LIBRARY")
        if c_library is None:
            beside = os.path.join(os.path.dirname(os.path.abspath(library)), _shared_library_name("smartdriver-c"))
            c_library = beside if os.path.exists(beside) else _shared_library_name("smartdriver-c")
        self._c = _load_interface(c_library)
        self._handle = ctypes.c_void_p()
        self._call(None, "sd_open", os.fsencode(library), self._code, ctypes.byref(self._handle))

    def __del__(self):
        self.close()

    def close(self):
        """Releases the driver object and unloads the library; the Driver cannot be used afterwards."""
        if getattr(self, "_handle", None):
            self._c.sd_close(self._handle)
            self._handle = ctypes.c_void_p()

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()

    def _in(self, name, text):
        if text is None:
            return None
        if not isinstance(text, str):
            raise _error(ARGUMENT, "%s %r is not a text" % (name, text))
        try:
            return text.encode(self._codec)
        except UnicodeEncodeError:
            raise _error(ARGUMENT, "%s has a character that Windows-1251 cannot hold" % name) from None

    @staticmethod
    def _operation(type_oper):
        if not isinstance(type_oper, str) or len(type_oper) != 1 or not type_oper.isascii():
            raise _error(ARGUMENT, "operation %r is none of '-', 'M', '+'" % (type_oper,))
        return type_oper.encode("ascii")

    def _call(self, record, name, *args):
        message = ctypes.create_string_buffer(_MESSAGE_SIZE)
        record_args = () if record is None else (ctypes.byref(record),)
        code = getattr(self._c, name)(*args, *record_args, message, _MESSAGE_SIZE)
        if code != OK:
            raise _error(code, message.value.decode(self._codec, "replace"), message.value, record)
        return record

    def version(self):
        """The driver's version text."""
        text = ctypes.create_string_buffer(256)
        self._call(None, "sd_version", self._handle, text, 256)
        return text.value.decode(self._codec)

    def card_info(self, wallet):
        """Which card the cashless server reports for a wallet (0..255): a CardInfo."""
        return self._call(CardInfo(), "sd_card_info", self._handle, _int("wallet", wallet))

    def blank_card_info(self):
        """The CardInfo of fixed values, without a server."""
        return self._call(CardInfo(), "sd_blank_card_info", self._handle)

    def discount(self, type_oper, wallet, quantity, amount, card_text=None):
        """type_oper "-" starts a sale, "M" asks for a line's discount, "+" cancels the sale: a DiscountResult."""
        return self._call(DiscountResult(), "sd_discount", self._handle, self._operation(type_oper),
                          _int("wallet", wallet), _real("quantity", quantity), _real("amount", amount),
                          self._in("card text", card_text))

    def forward_discount(self, type_oper, wallet, quantity, amount, text1=None, text2=None):
        """The same through the driver's forwarding entry, with its two texts."""
        return self._call(DiscountResult(), "sd_forward_discount", self._handle, self._operation(type_oper),
                          _int("wallet", wallet), _real("quantity", quantity), _real("amount", amount),
                          self._in("text1", text1), self._in("text2", text2))

    def cashless_sale(self, wallet, quantity, amount):
        """A payment of a line from the card's account: a CashlessResult. A quantity below 0.001 asks for
        the card instead."""
        return self._call(CashlessResult(), "sd_cashless_sale", self._handle, _int("wallet", wallet),
                          _real("quantity", quantity), _real("amount", amount))

    def cashless_return(self, card_number, wallet, quantity, amount):
        """A line given back to the card with the number card_number (1 to 10 digits): a CashlessResult."""
        if card_number is None:
            raise _error(ARGUMENT, "no card number")
        return self._call(CashlessResult(), "sd_cashless_return", self._handle, self._in("card number", card_number),
                          _int("wallet", wallet), _real("quantity", quantity), _real("amount", amount))
