/* A host that is not a MinGW C++ program: plain C, no unwind tables, no C++ runtime. It loads the DLL
 * beside it, catches each refusal as the driver's structured exception, carries on, and checks that the
 * driver still works afterwards. Prints what went wrong and exits non-zero on any fault. */
#include <winsock2.h>
#include <windows.h>

#include <setjmp.h>
#include <stdio.h>
#include <string.h>

#include "smartdriver/refusal.h"

typedef void* (__stdcall* GeTDriverFn)(unsigned char);
typedef void (__stdcall* ObjectFn)(void* self);
typedef void (__stdcall* GetVersionFn)(unsigned char* result, void* self);
typedef void (__stdcall* TerminalUnsupportedFn)(void* result, void* self, const char*, const char*, unsigned,
                                                unsigned, unsigned, unsigned, unsigned);
typedef void (__stdcall* CashlessSaleFn)(unsigned char* result, void* self, unsigned ignored, unsigned char koshel,
                                        double kolvo, double summa);
typedef void (__stdcall* DiscountFn)(unsigned char* result, void* self, unsigned char type_oper,
                                     unsigned char koshel, double kolvo, double summa, const char*,
                                     const char* card_text, const char*);

static const char kTerminalText[] =
    "\xCD\xE5 \xE2\xEE\xE7\xEC\xEE\xE6\xED\xEE \xE2\xFB\xEF\xEE\xEB\xED\xE8\xF2\xFC \xFD\xF2\xF3 "
    "\xEE\xEF\xE5\xF0\xE0\xF6\xE8\xFE \xF1 \xE4\xE0\xED\xED\xFB\xEC \xE2\xE8\xE4\xEE\xEC "
    "\xF2\xE5\xF0\xEC\xE8\xED\xE0\xEB\xE0";
static const char kRefusedText[] =
    "\xCE\xF8\xE8\xE1\xEA\xE0 \xF1\xE2\xFF\xE7\xE8 \xF1 \xF1\xE5\xF0\xE2\xE5\xF0\xEE\xEC: "
    "Socket Error # 10061\r\nConnection refused.";

static jmp_buf g_resume;
static char g_message[4096];
static size_t g_length;
static int g_kind;
static int g_failures;

static LONG CALLBACK OnException(EXCEPTION_POINTERS* info) {
  SdRefusal refusal;
  if (!sd_read_refusal(info->ExceptionRecord, &refusal)) return EXCEPTION_CONTINUE_SEARCH;
  g_length = refusal.length < sizeof g_message - 1 ? refusal.length : sizeof g_message - 1;
  memcpy(g_message, refusal.message, g_length);
  g_message[g_length] = '\0';
  g_kind = refusal.kind;
  longjmp(g_resume, 1);
}

static void Expect(int ok, const char* what) {
  if (!ok) {
    printf("FAILED: %s\n", what);
    ++g_failures;
  }
}

/* The refusal's text and kind must be exactly these. */
static void ExpectRefusal(int raised, const char* text, int kind, const char* what) {
  Expect(raised, what);
  Expect(raised && g_length == strlen(text) && strcmp(g_message, text) == 0 && g_message[g_length] == '\0',
         what);
  Expect(raised && g_kind == kind, what);
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

/* Drive C for the driver: a fresh temporary folder with the log folder and settings naming the ports. */
static void MakeDrive(int port, int cashless_port) {
  char root[MAX_PATH], path[MAX_PATH + 64];
  FILE* settings;
  GetTempPathA(MAX_PATH, path);
  GetTempFileNameA(path, "sdc", 0, root);
  DeleteFileA(root);
  CreateDirectoryA(root, NULL);
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

int main(void) {
  char dll[MAX_PATH];
  char* slash;
  HMODULE module;
  GeTDriverFn get_driver;
  void* driver;
  const void* const* table;
  unsigned char result[512];
  int round;
  PROCESS_INFORMATION emulator;
  int cashless_port;

  GetModuleFileNameA(NULL, dll, MAX_PATH);
  slash = strrchr(dll, '\\');
  slash[1] = '\0';
  cashless_port = StartEmulator(dll, &emulator);
  if (cashless_port == 0) {
    printf("FAILED: the emulator did not start\n");
    return 1;
  }
  /* Refused on the discount server's port, served on the cashless server's. */
  MakeDrive(DeadPort(), cashless_port);
  strcpy(slash + 1, "smartdriver.dll");
  module = LoadLibraryExA(dll, NULL, LOAD_WITH_ALTERED_SEARCH_PATH);
  if (module == NULL) {
    printf("FAILED: cannot load %s\n", dll);
    return 1;
  }
  get_driver = (GeTDriverFn)(void (*)(void))GetProcAddress(module, "GeTDriver");
  AddVectoredExceptionHandler(1, OnException);
  driver = get_driver(0);
  table = *(const void* const**)driver;

  /* Twice: a refusal leaves nothing held (the log's lock above all), so the second round works alike. */
  for (round = 0; round < 2; ++round) {
    if (setjmp(g_resume) == 0) {
      ((TerminalUnsupportedFn)table[10])(NULL, driver, NULL, NULL, 1, 2, 3, 4, 5);
      ExpectRefusal(0, kTerminalText, SD_REFUSAL_GENERAL, "TerminalUnsupported returned");
    } else {
      ExpectRefusal(1, kTerminalText, SD_REFUSAL_GENERAL, "TerminalUnsupported's refusal");
    }
    if (setjmp(g_resume) == 0) {
      ((DiscountFn)table[20])(result, driver, 'M', 1, 1.0, 10.0, NULL, NULL, NULL);
      ExpectRefusal(0, kRefusedText, SD_REFUSAL_GENERAL, "the discount against a refused port returned");
    } else {
      ExpectRefusal(1, kRefusedText, SD_REFUSAL_GENERAL, "the discount's refusal");
    }
    if (setjmp(g_resume) == 0) {
      ((ObjectFn)table[0])(driver);
      ExpectRefusal(0, "Abstract Error", SD_REFUSAL_ABSTRACT, "Abstract0 returned");
    } else {
      ExpectRefusal(1, "Abstract Error", SD_REFUSAL_ABSTRACT, "Abstract0's refusal");
    }
  }

  /* The driver still works after its refusals: a whole sale through the server, and its version. */
  memset(result, 0, sizeof result);
  if (setjmp(g_resume) == 0) {
    ((CashlessSaleFn)table[12])(result, driver, 0, 1, 1.0, 10.0);
    Expect(result[10] == 10 && memcmp(result + 11, "0012345678", 10) == 0, "the cashless sale's card");
  } else {
    Expect(0, "a cashless sale after the refusals was refused");
    printf("  %s\n", g_message);
  }
  memset(result, 0, sizeof result);
  ((GetVersionFn)table[1])(result, driver);
  Expect(result[0] == 16 && memcmp(result + 1, "v1.9Vantrel 5121", 16) == 0, "GetVersion after the refusals");
  ((ObjectFn)((const void* const*)table)[-1])(driver);
  driver = get_driver(0);
  Expect(driver != NULL, "a second GeTDriver");
  ((ObjectFn)(*(const void* const**)driver)[-1])(driver);
  FreeLibrary(module);
  TerminateProcess(emulator.hProcess, 0);
  WaitForSingleObject(emulator.hProcess, INFINITE);
  CloseHandle(emulator.hProcess);
  CloseHandle(emulator.hThread);

  if (g_failures == 0) printf("ok\n");
  return g_failures == 0 ? 0 : 1;
}
