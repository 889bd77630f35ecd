// The replaceable table of one platform facility, as SQLite keeps its system calls: the table of calls in
// force, the system's own table, and the swap that a test makes to fail a call on purpose. Every facility
// (sockets, files, threads, clock, modules, processes) uses this one template on every platform; each
// facility's header declares its table from the X-macro list of its calls, and the platform's file gives
// the system table.
#pragma once

#include <atomic>

namespace sd::platform {

template <typename Ops>
class CallTable {
 public:
  constexpr explicit CallTable(const Ops& system) noexcept : system_(system), current_(&system) {}
  CallTable(const CallTable&) = delete;
  CallTable& operator=(const CallTable&) = delete;

  const Ops& Current() const { return *current_.load(std::memory_order_acquire); }
  const Ops& System() const { return system_; }
  // Installs another table (nullptr brings back the system's); returns the one it replaced.
  const Ops* Set(const Ops* ops) {
    return current_.exchange(ops != nullptr ? ops : &system_, std::memory_order_acq_rel);
  }

 private:
  const Ops& system_;
  std::atomic<const Ops*> current_;
};

// The one table of a facility, defined by the platform's file of that facility; each facility's header
// declares its own.
template <typename Ops>
CallTable<Ops>& TableOf();

}  // namespace sd::platform

// Declares a field of a table from a row of its list: XX(result, name, system function, (parameters)).
#define SD_CALL_FIELD(result, name, function, parameters) result(*name) parameters;
// Declares the functions that reach a facility's table: Facility(), SystemFacility(), SetFacility().
#define SD_CALL_TABLE_FUNCTIONS(Ops, Facility)                                             \
  template <>                                                                              \
  CallTable<Ops>& TableOf<Ops>();                                                          \
  inline const Ops& Facility() { return TableOf<Ops>().Current(); }                        \
  inline const Ops& System##Facility() { return TableOf<Ops>().System(); }                 \
  inline const Ops* Set##Facility(const Ops* ops) { return TableOf<Ops>().Set(ops); }
// Defines a facility's one table in the platform's file: the system's table holds, for every row of the
// list, the function of that row's name, which the platform's file defines.
#define SD_SYSTEM_CALL(result, name, function, parameters) &function,
#define SD_DEFINE_CALL_TABLE(Ops, LIST)                   \
  template <>                                             \
  CallTable<Ops>& TableOf<Ops>() {                        \
    static constexpr Ops system{LIST(SD_SYSTEM_CALL)};    \
    static constinit CallTable<Ops> table{system};        \
    return table;                                         \
  }
