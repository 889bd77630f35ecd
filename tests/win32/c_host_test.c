/* A till as the tills this driver exists for are built: plain C without unwind tables or a C++ runtime,
 * the x87 control word 0x1332 (invalid operation, zero divide and overflow unmasked), a structured-
 * exception frame of its own around every call that takes whatever comes out (an access violation
 * included) and carries on, a main frame "TMainFrm" with "&Настройка", and the driver loaded by its full
 * path with plain LoadLibraryA from a folder of its own, with nothing beside it. It checks the refusals,
 * that no fault inside an entry leaves the driver wedged, that an unload on a worker lets the driver go
 * and a load after it works, and that the till's control word is its own after every call. Prints what
 * went wrong and exits non-zero on any fault; a call that hangs ends the program as a failure.
 *
 *   c_host_test [DLL]    the driver to try (default: smartdriver.dll beside this program) */
#include <winsock2.h>
#include <windows.h>

#include <stdio.h>
#include <string.h>
#include <wchar.h>

#include "smartdriver/refusal.h"

typedef void* (__stdcall* GeTDriverFn)(unsigned char);
typedef void (__stdcall* ObjectFn)(void* self);
typedef void (__stdcall* GetVersionFn)(unsigned char* result, void* self);
typedef void (__stdcall* TerminalUnsupportedFn)(void* result, void* self, const char*, const char*, unsigned,
                                                unsigned, unsigned, unsigned, unsigned);
typedef void (__stdcall* CashlessSaleFn)(void* result, void* self, unsigned ignored, unsigned char koshel,
                                        double kolvo, double summa);
typedef void (__stdcall* DiscountFn)(void* result, void* self, unsigned char type_oper, unsigned char koshel,
                                     double kolvo, double summa, const char*, const char* card_text, const char*);

enum { kSlotAbstract0 = 0, kSlotGetVersion = 1, kSlotTerminal = 10, kSlotCashlessSale = 12, kSlotDiscount = 20 };

static const unsigned short kTillControlWord = 0x1332;
static const wchar_t kEntry[] = L"Настройки связи с Вельтор (Кестров)";

static const char kTerminalText[] =
    "\xCD\xE5 \xE2\xEE\xE7\xEC\xEE\xE6\xED\xEE \xE2\xFB\xEF\xEE\xEB\xED\xE8\xF2\xFC \xFD\xF2\xF3 "
    "\xEE\xEF\xE5\xF0\xE0\xF6\xE8\xFE \xF1 \xE4\xE0\xED\xED\xFB\xEC \xE2\xE8\xE4\xEE\xEC "
    "\xF2\xE5\xF0\xEC\xE8\xED\xE0\xEB\xE0";
static const char kRefusedText[] =
    "\xCE\xF8\xE8\xE1\xEA\xE0 \xF1\xE2\xFF\xE7\xE8 \xF1 \xF1\xE5\xF0\xE2\xE5\xF0\xEE\xEC: "
    "Socket Error # 10061\r\nConnection refused.";
static const char kQuantityOutOfRange[] =
    "\xCA\xEE\xEB\xE8\xF7\xE5\xF1\xF2\xE2\xEE \xE2\xED\xE5 \xE4\xEE\xEF\xF3\xF1\xF2\xE8\xEC\xFB\xF5 "
    "\xEF\xF0\xE5\xE4\xE5\xEB\xEE\xE2: ";
static const char kSumOutOfRange[] =
    "\xD1\xF3\xEC\xEC\xE0 \xE2\xED\xE5 \xE4\xEE\xEF\xF3\xF1\xF2\xE8\xEC\xFB\xF5 \xEF\xF0\xE5\xE4\xE5\xEB\xEE\xE2: ";

static int g_failures;

static void Expect(int ok, const char* what, const char* after) {
  if (!ok) {
    printf("FAILED: %s%s%s\n", what, after[0] ? " after " : "", after);
    fflush(stdout);
    ++g_failures;
  }
}

/* A call that never comes back ends the program: the step it was in failed. */
static volatile DWORD g_deadline;
static const char* volatile g_step = "";

static DWORD WINAPI Watchdog(void* unused) {
  (void)unused;
  for (;;) {
    Sleep(200);
    if ((LONG)(GetTickCount() - g_deadline) > 0) {
      printf("FAILED: %s hangs\n", g_step);
      fflush(stdout);
      ExitProcess(1);
    }
  }
}

static void Step(const char* what) {
  g_step = what;
  g_deadline = GetTickCount() + 30000;
}

static unsigned short ControlWord(void) {
  unsigned short word;
  __asm__ volatile("fnstcw %0" : "=m"(word));
  return word;
}

static void SetControlWord(unsigned short word) { __asm__ volatile("fnclex\n\tfldcw %0" : : "m"(word)); }

/* The till's own frame in the thread's chain, as another compiler's try/except makes it: its handler
 * takes every exception, unwinds the frames above it (the driver's) and resumes after the call. */
typedef struct TillFrame {
  struct TillFrame* next;
  EXCEPTION_DISPOSITION(__cdecl* handler)(EXCEPTION_RECORD*, void*, CONTEXT*, void*);
  void* resume[5];
  DWORD code;
  char message[4096];
  int kind;
} TillFrame;

static EXCEPTION_DISPOSITION __cdecl TillHandler(EXCEPTION_RECORD* record, void* frame, CONTEXT* context,
                                                 void* dispatcher) {
  TillFrame* till = (TillFrame*)frame;
  SdRefusal refusal;
  (void)context;
  (void)dispatcher;
  if ((record->ExceptionFlags & (EXCEPTION_UNWINDING | EXCEPTION_EXIT_UNWIND)) != 0) return ExceptionContinueSearch;
  till->code = record->ExceptionCode;
  if (sd_read_refusal(record, &refusal)) {
    size_t length = refusal.length < sizeof till->message - 1 ? refusal.length : sizeof till->message - 1;
    memcpy(till->message, refusal.message, length);
    till->message[length] = '\0';
    till->kind = refusal.kind;
  }
  RtlUnwind(frame, NULL, record, NULL);
  __builtin_longjmp(till->resume, 1);
}

typedef struct Outcome {
  DWORD code; /* 0 returned, else what came out */
  char message[4096];
  int kind;
} Outcome;

typedef void (*Work)(void* context);

/* Runs work(context) inside the till's frame. */
static __attribute__((noinline)) Outcome TillCall(Work work, void* context) {
  TillFrame frame;
  Outcome out;
  frame.next = (TillFrame*)__readfsdword(0);
  frame.handler = TillHandler;
  frame.code = 0;
  frame.message[0] = '\0';
  frame.kind = 0;
  if (__builtin_setjmp(frame.resume) == 0) {
    __writefsdword(0, (DWORD)&frame);
    work(context);
  }
  __writefsdword(0, (DWORD)frame.next);
  out.code = frame.code;
  memcpy(out.message, frame.message, sizeof out.message);
  out.kind = frame.kind;
  return out;
}

/* The calls a till makes. */
typedef struct Call {
  void* driver;
  void* result;
  unsigned char type_oper;
  unsigned char koshel;
  double kolvo;
  double summa;
  GeTDriverFn get_driver;
} Call;

static void* const* Table(void* driver) { return *(void* const* const*)driver; }

static void DoGetDriver(void* p) {
  Call* c = (Call*)p;
  c->driver = c->get_driver(0);
}
static void DoDestroy(void* p) { ((ObjectFn)Table(((Call*)p)->driver)[-1])(((Call*)p)->driver); }
static void DoAbstract(void* p) { ((ObjectFn)Table(((Call*)p)->driver)[kSlotAbstract0])(((Call*)p)->driver); }
static void DoVersion(void* p) {
  Call* c = (Call*)p;
  ((GetVersionFn)Table(c->driver)[kSlotGetVersion])((unsigned char*)c->result, c->driver);
}
static void DoTerminal(void* p) {
  Call* c = (Call*)p;
  ((TerminalUnsupportedFn)Table(c->driver)[kSlotTerminal])(NULL, c->driver, NULL, NULL, 1, 2, 3, 4, 5);
}
static void DoCashlessSale(void* p) {
  Call* c = (Call*)p;
  ((CashlessSaleFn)Table(c->driver)[kSlotCashlessSale])(c->result, c->driver, 0, c->koshel, c->kolvo, c->summa);
}
static void DoDiscount(void* p) {
  Call* c = (Call*)p;
  ((DiscountFn)Table(c->driver)[kSlotDiscount])(c->result, c->driver, c->type_oper, c->koshel, c->kolvo, c->summa,
                                                NULL, NULL, NULL);
}

static double Bits(unsigned long long bits) {
  double d;
  memcpy(&d, &bits, sizeof d);
  return d;
}

static void ExpectRefusal(const Outcome* o, const char* text, int exact, int kind, const char* what) {
  Expect(o->code == SD_REFUSAL_CODE, what, "");
  if (o->code != SD_REFUSAL_CODE) {
    printf("  0x%08lX came out instead\n", (unsigned long)o->code);
    return;
  }
  Expect(exact ? strcmp(o->message, text) == 0 : strncmp(o->message, text, strlen(text)) == 0, what, "");
  Expect(kind == 0 || o->kind == kind, what, "");
}

/* A whole cashless sale through the emulator, as after a fault it must still go. */
static void ExpectSale(void* driver, const char* where, const char* after) {
  unsigned char result[64];
  Call c;
  Outcome o;
  memset(result, 0, sizeof result);
  memset(&c, 0, sizeof c);
  c.driver = driver;
  c.result = result;
  c.koshel = 1;
  c.kolvo = 1.0;
  c.summa = 10.0;
  o = TillCall(DoCashlessSale, &c);
  Expect(o.code == 0 && result[10] == 10 && memcmp(result + 11, "0012345678", 10) == 0, where, after);
  Expect(ControlWord() == kTillControlWord, "the till's control word after a sale", after);
}

typedef struct Worker {
  void* driver;
  const char* after;
} Worker;

static DWORD WINAPI SaleOnWorker(void* p) {
  Worker* w = (Worker*)p;
  SetControlWord(kTillControlWord);
  ExpectSale(w->driver, "a cashless sale on another thread", w->after);
  return 0;
}

/* After a fault: the driver answers on another thread, then on this one, as before it. */
static void ExpectWorking(void* driver, const char* after) {
  Worker worker;
  HANDLE thread;
  static char step[128];
  worker.driver = driver;
  worker.after = after;
  snprintf(step, sizeof step, "a cashless sale after %s", after);
  Step(step);
  thread = CreateThread(NULL, 0, SaleOnWorker, &worker, 0, NULL);
  WaitForSingleObject(thread, INFINITE);
  CloseHandle(thread);
  ExpectSale(driver, "a cashless sale on the same thread", after);
}

/* A loopback port that was just free and that nobody listens on. */
static int DeadPort(void) {
  WSADATA data;
  struct sockaddr_in address;
  int size = sizeof address;
  SOCKET s;
  WSAStartup(MAKEWORD(2, 2), &data);
  s = socket(AF_INET, SOCK_STREAM, 0);
  memset(&address, 0, sizeof address);
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bind(s, (struct sockaddr*)&address, sizeof address);
  getsockname(s, (struct sockaddr*)&address, &size);
  closesocket(s);
  return ntohs(address.sin_port);
}

/* The bundled emulator beside this program, playing the cashless server; its cashless port, or 0. */
static int StartEmulator(const char* dir, PROCESS_INFORMATION* process) {
  SECURITY_ATTRIBUTES inherit = {sizeof inherit, NULL, TRUE};
  STARTUPINFOA start;
  HANDLE read_end, write_end;
  char command[MAX_PATH + 32], line[128];
  DWORD got, used = 0;
  int discount_port = 0, cashless_port = 0;
  if (!CreatePipe(&read_end, &write_end, &inherit, 0)) return 0;
  SetHandleInformation(read_end, HANDLE_FLAG_INHERIT, 0);
  memset(&start, 0, sizeof start);
  start.cb = sizeof start;
  start.dwFlags = STARTF_USESTDHANDLES;
  start.hStdOutput = start.hStdError = write_end;
  start.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  snprintf(command, sizeof command, "\"%ssmartdriver-emulator.exe\"", dir);
  if (!CreateProcessA(NULL, command, NULL, NULL, TRUE, 0, NULL, NULL, &start, process)) return 0;
  CloseHandle(write_end);
  /* Its first line: "discount-port=N cashless-port=N". */
  while (used + 1 < sizeof line && ReadFile(read_end, line + used, 1, &got, NULL) && got == 1 && line[used] != '\n')
    ++used;
  line[used] = '\0';
  CloseHandle(read_end);
  return sscanf(line, "discount-port=%d cashless-port=%d", &discount_port, &cashless_port) == 2 ? cashless_port : 0;
}

/* A fresh temporary folder; its path ends without a backslash. */
static void MakeFolder(char* path) {
  char temp[MAX_PATH];
  GetTempPathA(MAX_PATH, temp);
  GetTempFileNameA(temp, "sdt", 0, path);
  DeleteFileA(path);
  CreateDirectoryA(path, NULL);
}

/* Drive C for the driver: the log folder and settings naming the ports. */
static void MakeDrive(int port, int cashless_port) {
  char root[MAX_PATH], path[MAX_PATH + 64];
  FILE* settings;
  MakeFolder(root);
  snprintf(path, sizeof path, "%s\\ZEMO", root);
  CreateDirectoryA(path, NULL);
  snprintf(path, sizeof path, "%s\\ZEMO\\LogFiles", root);
  CreateDirectoryA(path, NULL);
  snprintf(path, sizeof path, "%s\\ZEMO\\Kestmark.INI", root);
  settings = fopen(path, "wb");
  fprintf(settings, "[RemoteDiscount]\r\nIP=127.0.0.1\r\nPort=%d\r\nPortbn=%d\r\n", port, cashless_port);
  fclose(settings);
  SetEnvironmentVariableA("SMARTDRIVER_DRIVE_C", root);
}

/* Another program's runtime DLLs, found first on PATH: a driver that imported them would not load. */
static void PutStrangeRuntimeOnPath(void) {
  static const char* const kNames[] = {"libstdc++-6.dll", "libgcc_s_dw2-1.dll", "libwinpthread-1.dll"};
  static char old_path[8192], joined[8192 + MAX_PATH + 2];
  char folder[MAX_PATH], path[MAX_PATH + 32];
  size_t i;
  MakeFolder(folder);
  for (i = 0; i < sizeof kNames / sizeof kNames[0]; ++i) {
    FILE* f;
    snprintf(path, sizeof path, "%s\\%s", folder, kNames[i]);
    f = fopen(path, "wb");
    fputs("not this driver's runtime", f);
    fclose(f);
  }
  old_path[0] = '\0';
  GetEnvironmentVariableA("PATH", old_path, sizeof old_path);
  snprintf(joined, sizeof joined, "%s;%s", folder, old_path);
  SetEnvironmentVariableA("PATH", joined);
}

/* The till's main frame: "&Настройка" with one item of its own. */
static HMENU g_settings_menu;

static HWND MakeMainFrame(void) {
  WNDCLASSW wc;
  HMENU bar = CreateMenu();
  g_settings_menu = CreatePopupMenu();
  memset(&wc, 0, sizeof wc);
  wc.lpfnWndProc = DefWindowProcW;
  wc.hInstance = GetModuleHandleW(NULL);
  wc.lpszClassName = L"TMainFrm";
  RegisterClassW(&wc);
  AppendMenuW(g_settings_menu, MF_STRING, 101, L"Сервис");
  AppendMenuW(bar, MF_POPUP, (UINT_PTR)g_settings_menu, L"&Настройка");
  return CreateWindowW(L"TMainFrm", L"Till", WS_OVERLAPPEDWINDOW, 0, 0, 640, 480, NULL, bar, wc.hInstance, NULL);
}

static int EntriesInMenu(void) {
  int i, count = 0;
  for (i = 0; i < GetMenuItemCount(g_settings_menu); ++i) {
    wchar_t text[128];
    if (GetMenuStringW(g_settings_menu, (UINT)i, text, 128, MF_BYPOSITION) > 0 && wcscmp(text, kEntry) == 0) ++count;
  }
  return count;
}

static int FrameAnswers(HWND frame) {
  wchar_t text[16];
  SetWindowTextW(frame, L"Till 2");
  return GetWindowTextW(frame, text, 16) == 6 && wcscmp(text, L"Till 2") == 0;
}

static DWORD WINAPI UnloadOnWorker(void* module) {
  FreeLibrary((HMODULE)module);
  return 0;
}

/* Loads the driver, asks it for its object; NULL (with the failure told) when either fails. */
static void* Load(const char* dll, HMODULE* module, const char* what) {
  Call c;
  Outcome o;
  *module = LoadLibraryA(dll);
  if (*module == NULL) {
    printf("FAILED: %s: LoadLibraryA(\"%s\") error %lu\n", what, dll, (unsigned long)GetLastError());
    ++g_failures;
    return NULL;
  }
  memset(&c, 0, sizeof c);
  c.get_driver = (GeTDriverFn)(void (*)(void))GetProcAddress(*module, "GeTDriver");
  if (c.get_driver == NULL) {
    printf("FAILED: %s: no GeTDriver\n", what);
    ++g_failures;
    return NULL;
  }
  o = TillCall(DoGetDriver, &c);
  Expect(o.code == 0 && c.driver != NULL, what, "");
  Expect(ControlWord() == kTillControlWord, "the till's control word after GeTDriver", "");
  return o.code == 0 ? c.driver : NULL;
}

int main(int argc, char** argv) {
  char here[MAX_PATH], source[MAX_PATH], folder[MAX_PATH], dll[MAX_PATH + 32];
  char* slash;
  HMODULE module;
  HWND frame;
  HANDLE thread;
  PROCESS_INFORMATION emulator;
  int cashless_port, round;
  void* driver;
  unsigned char result[512];
  Call c;
  Outcome o;

  Step("start-up");
  CloseHandle(CreateThread(NULL, 0, Watchdog, NULL, 0, NULL));
  GetModuleFileNameA(NULL, here, MAX_PATH);
  slash = strrchr(here, '\\');
  slash[1] = '\0';
  cashless_port = StartEmulator(here, &emulator);
  if (cashless_port == 0) {
    printf("FAILED: the emulator did not start\n");
    return 1;
  }
  /* Refused on the discount server's port, served on the cashless server's. */
  MakeDrive(DeadPort(), cashless_port);

  /* The driver alone in a folder of its own, away from this program. */
  snprintf(source, sizeof source, "%s%s", here, "smartdriver.dll");
  if (argc > 1) GetFullPathNameA(argv[1], sizeof source, source, NULL);
  MakeFolder(folder);
  snprintf(dll, sizeof dll, "%s\\smartdriver.dll", folder);
  if (!CopyFileA(source, dll, FALSE)) {
    printf("FAILED: cannot copy %s\n", source);
    return 1;
  }
  PutStrangeRuntimeOnPath();
  /* Another program's runtime loaded first, as a plug-in of the till may bring it: the driver's own
   * exceptions (every refusal below is one inside the driver) must still find their handlers. */
  snprintf(dll, sizeof dll, "%sforeign\\libgcc_s_dw2-1.dll", here);
  Expect(LoadLibraryExA(dll, NULL, LOAD_WITH_ALTERED_SEARCH_PATH) != NULL,
         "another program's runtime loaded before the driver", "");
  snprintf(dll, sizeof dll, "%s\\smartdriver.dll", folder);
  frame = MakeMainFrame();
  SetControlWord(kTillControlWord);

  Step("the load from another folder");
  driver = Load(dll, &module, "the load by full path from another folder");
  if (driver == NULL) return 1;
  Expect(EntriesInMenu() == 1, "the settings entry under \"&Настройка\"", "");

  /* Refusals, twice: a refusal leaves nothing held, so the second round goes alike. */
  memset(&c, 0, sizeof c);
  c.driver = driver;
  c.result = result;
  for (round = 0; round < 2; ++round) {
    Step("the refusals");
    o = TillCall(DoTerminal, &c);
    ExpectRefusal(&o, kTerminalText, 1, SD_REFUSAL_GENERAL, "TerminalUnsupported's refusal");
    c.type_oper = 'M', c.koshel = 1, c.kolvo = 1.0, c.summa = 10.0;
    o = TillCall(DoDiscount, &c);
    ExpectRefusal(&o, kRefusedText, 1, SD_REFUSAL_GENERAL, "the discount's refusal on a refused port");
    o = TillCall(DoAbstract, &c);
    ExpectRefusal(&o, "Abstract Error", 1, SD_REFUSAL_ABSTRACT, "Abstract0's refusal");
    Expect(ControlWord() == kTillControlWord, "the till's control word after the refusals", "");
  }
  /* The SDK's helper, as a till without a frame of its own uses it: the refusal as a return value. */
  {
    SdRefusal refusal;
    Expect(sd_call_entry(DoAbstract, &c, &refusal) == 1 && refusal.kind == SD_REFUSAL_ABSTRACT &&
               strcmp(refusal.message, "Abstract Error") == 0,
           "sd_call_entry's refusal", "");
  }
  ExpectWorking(driver, "the refusals");

  /* Amounts that are no numbers, under the till's control word: refused, not a floating-point fault. */
  Step("a NaN quantity");
  c.koshel = 1, c.kolvo = Bits(0x7FF8000000000000ull), c.summa = 10.0;
  o = TillCall(DoCashlessSale, &c);
  ExpectRefusal(&o, kQuantityOutOfRange, 0, SD_REFUSAL_GENERAL, "a NaN quantity's refusal");
  Expect(ControlWord() == kTillControlWord, "the till's control word", "a NaN quantity");
  ExpectWorking(driver, "a NaN quantity");
  Step("an infinite sum");
  c.type_oper = 'M', c.kolvo = 1.0, c.summa = Bits(0x7FF0000000000000ull);
  o = TillCall(DoDiscount, &c);
  ExpectRefusal(&o, kSumOutOfRange, 0, SD_REFUSAL_GENERAL, "an infinite sum's refusal");
  Expect(ControlWord() == kTillControlWord, "the till's control word", "an infinite sum");
  ExpectWorking(driver, "an infinite sum");

  /* A record pointer that points nowhere: the till catches the access violation and goes on. */
  Step("a bad record pointer");
  c.result = (void*)16, c.type_oper = 'M', c.kolvo = 1.0, c.summa = 10.0;
  o = TillCall(DoDiscount, &c);
  Expect(o.code == EXCEPTION_ACCESS_VIOLATION, "the access violation of a bad record pointer", "");
  Expect(ControlWord() == kTillControlWord, "the till's control word", "a bad record pointer");
  ExpectWorking(driver, "a bad record pointer");
  /* No record at all: a refusal that says so. */
  Step("a null record pointer");
  c.result = NULL;
  o = TillCall(DoDiscount, &c);
  ExpectRefusal(&o, "", 0, SD_REFUSAL_GENERAL, "a null record pointer's refusal");
  Expect(o.message[0] != '\0', "a message for a null record pointer", "");
  Expect(ControlWord() == kTillControlWord, "the till's control word", "a null record pointer");
  ExpectWorking(driver, "a null record pointer");

  /* Unloaded on a worker with the entry in the menu: the driver goes, and a new load works. */
  Step("the unload on a worker");
  c.result = result;
  TillCall(DoDestroy, &c);
  thread = CreateThread(NULL, 0, UnloadOnWorker, module, 0, NULL);
  WaitForSingleObject(thread, INFINITE);
  CloseHandle(thread);
  /* The last sale's exchange thread may still hold the driver for a moment after its answer. */
  for (round = 0; round < 250 && GetModuleHandleA(dll) != NULL; ++round) Sleep(20);
  Expect(GetModuleHandleA(dll) == NULL, "the driver gone from the process", "an unload on a worker");
  Expect(FrameAnswers(frame), "the frame answering", "an unload on a worker");
  Step("the load after an unload on a worker");
  driver = Load(dll, &module, "GeTDriver after an unload on a worker");
  if (driver != NULL) {
    Expect(EntriesInMenu() == 1, "the settings entry standing once", "a load after an unload on a worker");
    ExpectWorking(driver, "a load after an unload on a worker");
    c.driver = driver;
    memset(result, 0, sizeof result);
    o = TillCall(DoVersion, &c);
    Expect(o.code == 0 && result[0] == 16 && memcmp(result + 1, "v1.9Vantrel 5121", 16) == 0, "GetVersion",
           "a load after an unload on a worker");
    TillCall(DoDestroy, &c);
    Step("the last unload");
    FreeLibrary(module);
    Expect(EntriesInMenu() == 0, "the entry gone", "the last unload on the frame's thread");
    Expect(FrameAnswers(frame), "the frame answering", "the last unload");
  }

  DestroyWindow(frame);
  DeleteFileA(dll);
  RemoveDirectoryA(folder);
  TerminateProcess(emulator.hProcess, 0);
  WaitForSingleObject(emulator.hProcess, INFINITE);
  CloseHandle(emulator.hProcess);
  CloseHandle(emulator.hThread);
  if (g_failures == 0) printf("ok\n");
  fflush(stdout);
  return g_failures == 0 ? 0 : 1;
}
