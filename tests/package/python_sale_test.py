"""A whole sale from Python through the C interface and the real driver library, against the emulator:
the records of each operation, a payment the server refuses, a discount request that times out, the
messages in both encodings, and a library that cannot be loaded.

Run by CTest with SMARTDRIVER_TEST_DRIVER (the driver library), SMARTDRIVER_C_LIBRARY (the C interface),
SMARTDRIVER_EMULATOR (the emulator program) and the module's folder on PYTHONPATH."""
import ctypes
import os
import shutil
import subprocess
import tempfile
import unittest

import smartdriver

REFUSED = 'Сервер "Вельтор" отменил операцию'
TIMED_OUT = "Не удалось получить скидку: TimeOut"


def setUpModule():
    global work, emulator, driver, log_path
    work = tempfile.mkdtemp(prefix="smartdriver-python-")
    with open(os.path.join(work, "scenario.txt"), "w") as scenario:
        scenario.write("wallet 9 approval=0\nwallet 7 fault=silent\n")
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

    def test_failures_come_back_as_codes_and_messages(self):
        cases = [("refused payment", lambda: driver.cashless_sale(9, 1, 50.0), REFUSED),
                 ("silent server", lambda: driver.discount("M", 7, 1, 10.0), TIMED_OUT)]
        for name, call, message in cases:
            with self.subTest(name):
                with self.assertRaises(smartdriver.DriverError) as raised:
                    call()
                self.assertEqual((raised.exception.code, raised.exception.message), (smartdriver.FAILED, message))
                self.assertEqual(raised.exception.record.Flag, 255)
        # A refused payment still carries the card of the server's reply.
        with self.assertRaises(smartdriver.DriverError) as raised:
            driver.cashless_sale(9, 1, 50.0)
        self.assertEqual(raised.exception.record.NumberCard.text, "0012345678")

    def test_messages_in_windows_1251_and_cut_to_the_buffer(self):
        with smartdriver.Driver(os.environ["SMARTDRIVER_TEST_DRIVER"], encoding="cp1251") as single_byte:
            with self.assertRaises(smartdriver.DriverError) as raised:
                single_byte.cashless_sale(9, 1, 50.0)
            self.assertEqual(raised.exception.raw, REFUSED.encode("cp1251"))
        # Ten bytes leave room for nine: "Сервер" is twelve in UTF-8, so four characters fit whole.
        small = ctypes.create_string_buffer(10)
        code = driver._c.sd_cashless_sale(driver._handle, 9, 1.0, 50.0, ctypes.byref(smartdriver.CashlessResult()),
                                          small, 10)
        self.assertEqual((code, small.value.decode("utf-8")), (smartdriver.FAILED, "Серв"))

    def test_a_library_that_cannot_be_loaded(self):
        with self.assertRaises(smartdriver.DriverError) as raised:
            smartdriver.Driver(os.path.join(work, "missing.so"))
        self.assertEqual(raised.exception.code, smartdriver.LOAD)
        self.assertIn("missing.so", raised.exception.message)


if __name__ == "__main__":
    unittest.main()
