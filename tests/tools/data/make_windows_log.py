#!/usr/bin/env python3
"""Writes win/Орвелина.log: a log as the driver writes it on a Windows till of the United States locale
(CRLF, 12/9/2026 9:32:23 AM, decimal comma set by the user), in Windows-1251. Its lines follow the driver's
list; the sale holds a time-out whose reply comes late among the next operation's lines, a hang-up, a
missing success line, a damaged line, a refusal and an operation the log ends in."""
import os

def crc16(data):
    crc = 0xFFFF
    for b in data:
        crc ^= b
        for _ in range(8):
            crc = (crc >> 1) ^ 0xA001 if crc & 1 else crc >> 1
    return crc

def frame(body):
    crc = crc16(body)
    out = []
    for b in body + bytes([crc & 0xFF, crc >> 8]):
        out += [0xD0, b + 1] if b in (0xC0, 0xD0) else [b]
    return bytes(out + [0xC0])

def be32(v):
    return (v & 0xFFFFFFFF).to_bytes(4, "big")

def request(kind, counter, wallet, qty, price):
    return frame(bytes([1, kind]) + be32(counter) + bytes([wallet]) + be32(qty) + be32(price))

def reply(kind, counter, wallet, approval, price, discount, card):
    return frame(bytes([1, kind]) + be32(counter) + bytes([wallet]) + be32(approval) + be32(price) +
                 bytes([discount]) + bytes.fromhex(card))

def dump(b):
    return "".join("%02X " % x for x in b)

lines = []
def log(time, text):
    lines.append("12/9/2026 %s - %s" % (time, text))

def exchange(time, port, sent, got=None, end=True):
    log(time, "[СВЯЗЬ] Соединение... (IP 127.0.0.1; Порт %d" % port)
    log(time, "[СВЯЗЬ] Соединение установлено")
    log(time, "[СВЯЗЬ] Пакет отправлен (%d байт)" % len(sent))
    log(time, "[СВЯЗЬ] данные:" + dump(sent))
    if got is not None:
        log(time, "[СВЯЗЬ] Пакет принят (%d байт)" % len(got))
        log(time, "[СВЯЗЬ] данные:" + dump(got))
    if end:
        log(time, "[СВЯЗЬ] Отключение от сервера")

card = "0012345678"
log("9:32:23 AM", "Драйвер загружен")
log("9:32:23 AM", "Инфо по карте: Koshel=1")
exchange("9:32:23 AM", 6011, request(3, 0, 1, 1, 1), reply(3, 0, 1, 1, 9500, 50, card))
# A time-out: the server answers wallet 7 after the wait, among the next sale's lines.
log("9:32:24 AM", " \r\n")
log("9:32:24 AM", "Запрос скидки: TypeOper=77 Koshel=7 Kolvo=1 Summa=10 карта=")
exchange("9:32:24 AM", 6010, request(3, 0, 7, 1000, 1000), end=False)
log("9:32:25 AM", "Операция не проведена: Не удалось получить скидку: TimeOut")
log("9:32:25 AM", " \r\n")
log("9:32:25 AM", "Продажа б/н: Koshel=1 Kolvo=3 Summa=150")
exchange("9:32:25 AM", 6011, request(1, 1, 1, 3000, 5000), end=False)
late = reply(3, 0, 7, 1, 950, 50, "0000000077")
log("9:32:25 AM", "[СВЯЗЬ] Пакет принят (%d байт)" % len(late))
log("9:32:25 AM", "[СВЯЗЬ] данные:" + dump(late))
log("9:32:25 AM", "[СВЯЗЬ] Отключение от сервера")
own = reply(1, 1, 1, 1, 4750, 50, card)
log("9:32:25 AM", "[СВЯЗЬ] Пакет принят (%d байт)" % len(own))
log("9:32:25 AM", "[СВЯЗЬ] данные:" + dump(own))
log("9:32:25 AM", "Операция б/н проведена: Koshel=1 Kolvo=3 Summa=150 NumberCard=%s SummaSk=142,5 PriceSk=47,5 Skidka=5" % card)
log("9:32:25 AM", "[СВЯЗЬ] Отключение от сервера")
# A hang-up.
log("9:32:26 AM", " \r\n")
log("9:32:26 AM", "Запрос скидки: TypeOper=77 Koshel=8 Kolvo=1 Summa=10 карта=")
exchange("9:32:26 AM", 6010, request(3, 1, 8, 1000, 1000))
log("9:32:26 AM", "[СВЯЗЬ] Ошибка связи с сервером: Connection Closed Gracefully.")
log("9:32:26 AM", "Операция не проведена: Ошибка связи с сервером: Connection Closed Gracefully.")
# A done discount whose success line is missing.
log("9:32:27 AM", " \r\n")
log("9:32:27 AM", "Запрос скидки: TypeOper=77 Koshel=1 Kolvo=2 Summa=20 карта=")
exchange("9:32:27 AM", 6010, request(3, 2, 1, 2000, 1000), reply(3, 2, 1, 1, 950, 50, card))
# A sale start with a damaged line among its own, and a decimal comma.
log("9:32:28 AM", " \r\n")
log("9:32:28 AM", "Старт продажи: TypeOper=45 Koshel=2 Kolvo=1,5 Summa=99,99 карта=Покупатель 1")
exchange("9:32:28 AM", 6010, request(1, 3, 2, 1500, 6666), reply(1, 3, 2, 1, 6333, 50, card))
lines.append("12/9/2026 9:32:28 AM - \x01\x02")
log("9:32:28 AM", "Операция ЗУЛ проведена: TypeOper=45 Koshel=2 Kolvo=1,5 Summa=99,99 NumberCard=%s SummaSk=95 CosteSk=63,33 Skidka=5" % card)
# A refusal.
log("9:32:29 AM", " \r\n")
log("9:32:29 AM", "Продажа б/н: Koshel=9 Kolvo=1 Summa=50")
exchange("9:32:29 AM", 6011, request(1, 2, 9, 1000, 5000), reply(1, 2, 9, 0, 4750, 50, card))
log("9:32:29 AM", "Операция не проведена: Сервер \"Вельтор\" отменил операцию")
# The afternoon: a card query the log ends in.
log("1:05:00 PM", "Инфо по карте: Koshel=3")
exchange("1:05:00 PM", 6011, request(3, 3, 3, 1, 1), end=False)

here = os.path.dirname(os.path.abspath(__file__))
os.makedirs(os.path.join(here, "win"), exist_ok=True)
with open(os.path.join(here, "win", "Орвелина.log"), "wb") as out:
    out.write("".join(line + "\r\n" for line in lines).encode("cp1251"))
