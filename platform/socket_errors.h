// The socket error codes, in the Windows Sockets numbering that every platform reports: one list gives
// each code its name and the text that the transport shows for it, so the three cannot drift apart.
//
// A name is Winsock's own with a `kWsa` prefix in camel case (WSAECONNREFUSED is kWsaEConnRefused,
// WSAHOST_NOT_FOUND kWsaHostNotFound), so that it reads like the system's documentation without
// clashing with the macros of the Windows headers. A code with an empty text has no text of its own:
// its message is the bare number line.
#pragma once

// SD_SOCKET_ERRORS(XX) calls XX(name, code, text) once per code, in ascending order of the code.
#define SD_SOCKET_ERRORS(XX)                                                        \
  XX(kWsaEIntr, 10004, "Interrupted system call.")                                  \
  XX(kWsaEBadF, 10009, "Bad file number.")                                          \
  XX(kWsaEAcces, 10013, "Access denied.")                                           \
  XX(kWsaEFault, 10014, "Buffer fault.")                                            \
  XX(kWsaEInval, 10022, "Invalid argument.")                                        \
  XX(kWsaEMFile, 10024, "Too many open files.")                                     \
  XX(kWsaEWouldBlock, 10035, "Operation would block.")                              \
  XX(kWsaEInProgress, 10036, "Operation now in progress.")                          \
  XX(kWsaEAlready, 10037, "Operation already in progress.")                         \
  XX(kWsaENotSock, 10038, "Socket operation on non-socket.")                        \
  XX(kWsaEDestAddrReq, 10039, "Destination address required.")                      \
  XX(kWsaEMsgSize, 10040, "Message too long.")                                      \
  XX(kWsaEPrototype, 10041, "Protocol wrong type for socket.")                      \
  XX(kWsaENoProtoOpt, 10042, "Bad protocol option.")                                \
  XX(kWsaEProtoNoSupport, 10043, "Protocol not supported.")                         \
  XX(kWsaESocktNoSupport, 10044, "Socket type not supported.")                      \
  XX(kWsaEOpNotSupp, 10045, "Operation not supported on socket.")                   \
  XX(kWsaEPfNoSupport, 10046, "Protocol family not supported.")                     \
  XX(kWsaEAfNoSupport, 10047, "Address family not supported by protocol family.")   \
  XX(kWsaEAddrInUse, 10048, "Address already in use.")                              \
  XX(kWsaEAddrNotAvail, 10049, "Cannot assign requested address.")                  \
  XX(kWsaENetDown, 10050, "Network is down.")                                       \
  XX(kWsaENetUnreach, 10051, "Network is unreachable.")                             \
  XX(kWsaENetReset, 10052, "Net dropped connection or reset.")                      \
  XX(kWsaEConnAborted, 10053, "Software caused connection abort.")                  \
  XX(kWsaEConnReset, 10054, "Connection reset by peer.")                            \
  XX(kWsaENoBufs, 10055, "No buffer space available.")                              \
  XX(kWsaEIsConn, 10056, "Socket is already connected.")                            \
  XX(kWsaENotConn, 10057, "Socket is not connected.")                               \
  XX(kWsaEShutdown, 10058, "Cannot send or receive after socket is closed.")        \
  XX(kWsaETooManyRefs, 10059, "Too many references, cannot splice.")                \
  XX(kWsaETimedOut, 10060, "Connection timed out.")                                 \
  XX(kWsaEConnRefused, 10061, "Connection refused.")                                \
  XX(kWsaELoop, 10062, "Too many levels of symbolic links.")                        \
  XX(kWsaENameTooLong, 10063, "File name too long.")                                \
  XX(kWsaEHostDown, 10064, "Host is down.")                                         \
  XX(kWsaEHostUnreach, 10065, "No route to host.")                                  \
  XX(kWsaENotEmpty, 10066, "Directory not empty")                                   \
  XX(kWsaEUsers, 10068, "")                                                         \
  XX(kWsaEDQuot, 10069, "")                                                         \
  XX(kWsaEStale, 10070, "")                                                         \
  XX(kWsaERemote, 10071, "")                                                        \
  XX(kWsaSysNotReady, 10091, "")                                                    \
  XX(kWsaVerNotSupported, 10092, "")                                                \
  XX(kWsaNotInitialised, 10093, "")                                                 \
  XX(kWsaSysCallFailure, 10107, "")                                                 \
  XX(kWsaHostNotFound, 11001, "Host not found.")                                    \
  XX(kWsaTryAgain, 11002, "")                                                       \
  XX(kWsaNoRecovery, 11003, "")                                                     \
  XX(kWsaNoData, 11004, "")

namespace sd::platform {

#define SD_SOCKET_ERROR_CONSTANT(name, code, text) inline constexpr int name = code;
SD_SOCKET_ERRORS(SD_SOCKET_ERROR_CONSTANT)
#undef SD_SOCKET_ERROR_CONSTANT

}  // namespace sd::platform
