"""A whole sale from Python through the C interface and the real driver library, against the emulator:
the records of each operation, each kind of failure as its own exception (a payment the server refuses,
a discount request that times out, a hang-up, a missing log folder, arguments the wire cannot carry),
the messages in both encodings, and a library that cannot be loaded.

Run by CTest with SMARTDRIVER_TEST_DRIVER (the driver library), SMARTDRIVER_C_LIBRARY (the C interface),
SMARTDRIVER_EMULATOR (the emulator program) and the module's folder on PYTHONPATH."""
import ctypes
import os
import shutil
import subprocess
import tempfile
import time
import unittest

import smartdriver

REFUSED = 'Сервер "Вельтор" отменил операцию'
TIMED_OUT = "Не удалось получить скидку: TimeOut"
HUNG_UP = "Ошибка связи с сервером: Connection Closed Gracefully."


def setUpModule():
    global work, emulator, driver, log_path
    work = tempfile.mkdtemp(prefix="smartdriver-python-")
    with open(os.path.join(work, "scenario.txt"), "w") as scenario:
        scenario.write("wallet 9 approval=0\nwallet 8 fault=close\nwallet 7 fault=silent\n")
    emulator = subprocess.Popen([os.environ["SMARTDRIVER_EMULATOR"], "--price", "4750", "--scenario",
                                 os.path.join(work, "scenario.txt")], stdout=subprocess.PIPE, text=True)
    ports = dict(word.split("=") for word in emulator.stdout.readline().split())
    drive = os.path.join(work, "drive_c")
    os.makedirs(os.path.join(drive, "ZEMO", "LogFiles"))
    with open(os.path.join(drive, "ZEMO", "Kestmark.INI"), "w", newline="") as ini:
        ini.write("[RemoteDiscount]\r\nIP=127.0.0.1\r\nPort=%s\r\nPortbn=%s\r\nbWaitTimeOut=1000\r\nbEnableLog=1\r\n"
                  % (ports["discount-port"], ports["cashless-port"]))
    log_path = os.path.join(drive, "ZEMO", "LogFiles", "Орвелина.log")
    # The library reads drive C's place when it is loaded.
    os.environ["SMARTDRIVER_DRIVE_C"] = drive
    driver = smartdriver.Driver(os.environ["SMARTDRIVER_TEST_DRIVER"])


def tearDownModule():
    driver.close()
    emulator.terminate()
    emulator.wait(timeout=10)
    emulator.stdout.close()
    shutil.rmtree(work)


class Sale(unittest.TestCase):
    def test_a_sale_fills_every_record(self):
        card = driver.card_info(1)
        self.assertEqual((card.CardHead.text, card.CardTail.text), ("0012", "345678"))
        self.assertEqual(driver.discount("-", 1, 2, 100.0, "Покупатель 1").TypeOper, b"-")
        line = driver.discount("M", 1, 2, 100.0)
        self.assertEqual((line.TypeOper, line.NumberCard.text, line.SummaSk, line.CosteSk),
                         (b"M", "0012345678", 95.0, 47.5))
        paid = driver.cashless_sale(1, 3, 150.0)
        self.assertEqual((paid.Flag, paid.NumberCard.text, paid.SummaSk, paid.PriceSk),
                         (255, "0012345678", 142.5, 47.5))
        self.assertEqual(driver.cashless_return("0012345678", 1, 1, 50.0).NumberCard.text, "0012345678")
        self.assertEqual(driver.discount("+", 1, 2, 100.0).TypeOper, b"+")
        blank = driver.blank_card_info()
        self.assertEqual((blank.Flag, blank.Amount32, blank.Amount56), (255, 1000.0, 1000.0))
        self.assertEqual(driver.version(), "v1.9Vantrel 5121")
        # The card text went in as UTF-8 and reached the driver in its own code page.
        with open(log_path, "rb") as log:
            self.assertIn("карта=Покупатель 1".encode("cp1251"), log.read())

    def test_each_kind_of_failure_is_its_own_exception(self):
        cases = [("refused payment", lambda: driver.cashless_sale(9, 1, 50.0), smartdriver.Refused,
                  smartdriver.REFUSED, REFUSED),
                 ("silent server", lambda: driver.discount("M", 7, 1, 10.0), smartdriver.TimeOut,
                  smartdriver.TIMEOUT, TIMED_OUT),
                 ("hang-up", lambda: driver.discount("M", 8, 1, 10.0), smartdriver.CommunicationError,
                  smartdriver.COMMUNICATION, HUNG_UP)]
        for name, call, kind, code, message in cases:
            with self.subTest(name):
                with self.assertRaises(kind) as raised:
                    call()
                self.assertIsInstance(raised.exception, smartdriver.Error)
                self.assertEqual((raised.exception.code, raised.exception.message), (code, message))
                self.assertEqual(raised.exception.record.Flag, 255)
        # A refused payment still carries the card of the server's reply.
        with self.assertRaises(smartdriver.Refused) as raised:
            driver.cashless_sale(9, 1, 50.0)
        self.assertEqual(raised.exception.record.NumberCard.text, "0012345678")

    def test_arguments_the_wire_cannot_carry_are_refused_before_the_driver(self):
        cases = [("negative sum", lambda: driver.cashless_sale(1, 1, -50), "sum -50 is negative"),
                 ("wallet 256", lambda: driver.card_info(256), "wallet 256 is outside 0..255"),
                 ("wallet -1", lambda: driver.cashless_sale(-1, 1, 5), "wallet -1 is outside 0..255"),
                 ("wallet 2**40", lambda: driver.card_info(2 ** 40), "wallet 1099511627776 is outside 0..255"),
                 ("no wallet", lambda: driver.card_info(None), "wallet None is not an integer"),
                 ("no amount", lambda: driver.discount("M", 1, 1, None), "amount None is not a number"),
                 ("text amount", lambda: driver.discount("M", 1, "1", 5), "quantity '1' is not a number"),
                 ("NaN", lambda: driver.discount("M", 1, float("nan"), 5), "quantity nan is not a finite number"),
                 ("infinite sum", lambda: driver.cashless_sale(1, 1, float("inf")), "sum inf is not a finite number"),
                 ("sum beyond the field", lambda: driver.discount("-", 1, 1, 30e6), "sum 30000000 is above 21474836.47"),
                 ("unit price beyond the field", lambda: driver.discount("M", 1, 0.001, 25000.0),
                  "unit price 25000 / 0.001 is above 21474836.47"),
                 ("no quantity for a price", lambda: driver.discount("M", 1, 0.0001, 5),
                  "quantity 0.0001 is below 0.001, and a unit price is sent"),
                 ("unknown operation", lambda: driver.discount("X", 1, 1, 5), "operation code 88 is none of '-', 'M', '+'"),
                 ("eleven digits", lambda: driver.cashless_return("99999999999", 1, 1, 5),
                  'card number "99999999999" is not 1 to 10 digits'),
                 ("not digits", lambda: driver.cashless_return("12A", 1, 1, 5), 'card number "12A" is not 1 to 10 digits'),
                 ("no card", lambda: driver.cashless_return(None, 1, 1, 5), "no card number"),
                 ("outside Windows-1251", lambda: driver.discount("M", 1, 1, 5, "\u263a"),
                  "card text has a character that Windows-1251 cannot hold")]
        # An exchange thread logs its disconnect after handing the reply over: wait for the log to settle.
        before = None
        while True:
            with open(log_path, "rb") as log:
                now = log.read()
            if now == before:
                break
            before = now
            time.sleep(0.3)
        for name, call, message in cases:
            with self.subTest(name):
                with self.assertRaises(smartdriver.ArgumentError) as raised:
                    call()
                self.assertEqual((raised.exception.code, raised.exception.message), (smartdriver.ARGUMENT, message))
        # Nothing reached the driver: not a line was logged, so nothing was sent.
        with open(log_path, "rb") as log:
            after = log.read()
        self.assertEqual(after, before, after[len(before):].decode("cp1251"))
        # The C interface refuses by itself what Python passes on as it is.
        raw = smartdriver.CardInfo()
        message = ctypes.create_string_buffer(64)
        self.assertEqual(driver._c.sd_card_info(driver._handle, 256, ctypes.byref(raw), message, 64), smartdriver.ARGUMENT)
        self.assertEqual(message.value, b"wallet 256 is outside 0..255")

    def test_a_log_folder_that_is_gone_is_an_input_output_failure(self):
        folder = os.path.dirname(log_path)
        os.rename(folder, folder + ".away")
        try:
            with self.assertRaises(smartdriver.IOFailure) as raised:
                driver.discount("M", 1, 1, 10.0)
            self.assertEqual((raised.exception.code, raised.exception.message), (smartdriver.IO, "I/O error 3"))
        finally:
            os.rename(folder + ".away", folder)

    def test_messages_in_windows_1251_and_cut_to_the_buffer(self):
        with smartdriver.Driver(os.environ["SMARTDRIVER_TEST_DRIVER"], encoding="cp1251") as single_byte:
            with self.assertRaises(smartdriver.Refused) as raised:
                single_byte.cashless_sale(9, 1, 50.0)
            self.assertEqual(raised.exception.raw, REFUSED.encode("cp1251"))
        # Ten bytes leave room for nine: "Сервер" is twelve in UTF-8, so four characters fit whole.
        small = ctypes.create_string_buffer(10)
        code = driver._c.sd_cashless_sale(driver._handle, 9, 1.0, 50.0, ctypes.byref(smartdriver.CashlessResult()),
                                          small, 10)
        self.assertEqual((code, small.value.decode("utf-8")), (smartdriver.REFUSED, "Серв"))

    def test_a_library_that_cannot_be_loaded(self):
        with self.assertRaises(smartdriver.LoadError) as raised:
            smartdriver.Driver(os.path.join(work, "missing.so"))
        self.assertEqual(raised.exception.code, smartdriver.LOAD)
        self.assertIn("missing.so", raised.exception.message)


if __name__ == "__main__":
    unittest.main()
