"""The card-terminal driver from Python, through its flat C interface (libsmartdriver-c) and ctypes.

    import smartdriver
    with smartdriver.Driver("/usr/lib/libsmartdriver.so") as driver:
        line = driver.discount("M", 1, 2, 100.0)
        print(line.NumberCard.text, line.SummaSk)

Each operation returns the record the driver filled (CardInfo, DiscountResult, CashlessResult, laid out
byte for byte as the driver's SDK declares them) or raises DriverError with the operator message and
whatever the driver had written into the record.
"""
import ctypes
import os
import sys

OK, FAILED, UNKNOWN, LOAD, ARGUMENT = 0, 1, 2, 3, 4
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


class DriverError(Exception):
    """A failed call: code (FAILED, UNKNOWN, LOAD, ARGUMENT), the message as text and as the bytes the
    interface returned, and the record as the driver left it (None for a call without one)."""

    def __init__(self, code, message, raw, record=None):
        super().__init__(message)
        self.code, self.message, self.raw, self.record = code, message, raw, record


def _shared_library_name(name):
    return name + ".dll" if sys.platform == "win32" else "lib" + name + ".so"


def _load_interface(path):
    c = ctypes.CDLL(path)
    msg = [ctypes.c_char_p, ctypes.c_size_t]
    handle, u8, dbl, text = ctypes.c_void_p, ctypes.c_uint8, ctypes.c_double, ctypes.c_char_p
    signatures = {
        "sd_open": [text, ctypes.c_int, ctypes.POINTER(ctypes.c_void_p)] + msg,
        "sd_version": [handle, ctypes.c_char_p, ctypes.c_size_t] + msg,
        "sd_card_info": [handle, u8, ctypes.POINTER(CardInfo)] + msg,
        "sd_blank_card_info": [handle, ctypes.POINTER(CardInfo)] + msg,
        "sd_discount": [handle, ctypes.c_char, u8, dbl, dbl, text, ctypes.POINTER(DiscountResult)] + msg,
        "sd_forward_discount": [handle, ctypes.c_char, u8, dbl, dbl, text, text,
                                ctypes.POINTER(DiscountResult)] + msg,
        "sd_cashless_sale": [handle, u8, dbl, dbl, ctypes.POINTER(CashlessResult)] + msg,
        "sd_cashless_return": [handle, text, u8, dbl, dbl, ctypes.POINTER(CashlessResult)] + msg,
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

    def close(self):
        if self._handle:
            self._c.sd_close(self._handle)
            self._handle = ctypes.c_void_p()

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()

    def _in(self, text):
        return None if text is None else text.encode(self._codec)

    def _call(self, record, name, *args):
        message = ctypes.create_string_buffer(_MESSAGE_SIZE)
        record_args = () if record is None else (ctypes.byref(record),)
        code = getattr(self._c, name)(*args, *record_args, message, _MESSAGE_SIZE)
        if code != OK:
            raise DriverError(code, message.value.decode(self._codec, "replace"), message.value, record)
        return record

    def version(self):
        text = ctypes.create_string_buffer(256)
        self._call(None, "sd_version", self._handle, text, 256)
        return text.value.decode(self._codec)

    def card_info(self, wallet):
        return self._call(CardInfo(), "sd_card_info", self._handle, wallet)

    def blank_card_info(self):
        return self._call(CardInfo(), "sd_blank_card_info", self._handle)

    def discount(self, type_oper, wallet, quantity, amount, card_text=None):
        """type_oper "-" starts a sale, "M" asks for a line's discount, "+" cancels the sale."""
        return self._call(DiscountResult(), "sd_discount", self._handle, type_oper.encode("ascii"), wallet,
                          quantity, amount, self._in(card_text))

    def forward_discount(self, type_oper, wallet, quantity, amount, text1=None, text2=None):
        return self._call(DiscountResult(), "sd_forward_discount", self._handle, type_oper.encode("ascii"),
                          wallet, quantity, amount, self._in(text1), self._in(text2))

    def cashless_sale(self, wallet, quantity, amount):
        return self._call(CashlessResult(), "sd_cashless_sale", self._handle, wallet, quantity, amount)

    def cashless_return(self, card_number, wallet, quantity, amount):
        return self._call(CashlessResult(), "sd_cashless_return", self._handle, self._in(card_number), wallet,
                          quantity, amount)
