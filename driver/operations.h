// The card operations behind the four entries that reach a server. They run one at a time whatever
// the host does: a call made while another runs waits for it (OneServerCallAtATime).
#pragma once

#include <cstdint>
#include <string_view>

#include "smartdriver/entries.h"

namespace sd::driver {

// Refuses a record the host did not pass, before anything is done for it.
void RequireRecord(const void* record);

// Entry 7: the card number of the card presented for a wallet, from the cashless server.
void GetCardInfo(CardInfo* result, std::uint8_t koshel);

// Entry 20: sale start ("-"), discount request ("M") or sale cancel ("+") on the discount server.
void DiscountOperation(DiscountResult* result, char type_oper, std::uint8_t koshel, double kolvo, double summa,
                       std::string_view card_text);

// Entry 12: a cashless sale; below 0.001 a card query through entry 7 of `self` instead.
void CashlessSale(CashlessResult* result, TSmartDriver* self, std::uint8_t koshel, double kolvo, double summa);

// Entry 15: a cashless return for the card whose decimal number the host passes.
void CashlessReturn(CashlessResult* result, std::string_view number_card, std::uint8_t koshel, double kolvo,
                    double summa);

}  // namespace sd::driver
