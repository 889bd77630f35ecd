/* How a host program on POSIX lends the library its user interface: its main form and menu, a message
 * box, and a way to show the library's settings dialog. Plain C, so that any host can provide it.
 *
 * The host exports one function, SmartDriverHostUi (link the host with -rdynamic, or export the symbol
 * with default visibility). The library looks it up in the process when it is loaded and uses the table
 * it returns until it is unloaded. Without the function, or with a table whose size or version the
 * library does not know, there is no settings entry in the host's menu, message boxes go to standard
 * error, and the settings dialog is not shown.
 *
 * All texts are Windows-1251 and zero-terminated. Every function is called on the thread that loaded
 * the library (the host's user-interface thread), never from inside another call of the same table
 * except show_dialog, which calls back into the dialog interface. A function of the table may be NULL
 * when the host lacks that facility. Handles are the host's own objects; the library only passes them
 * back. No function may let a C++ exception out, in either direction.
 *
 * The library adds one item, "Настройки связи с Вельтор (Кестров)" under "&Настройка" of the form
 * "MainFrm", and removes it again when it is unloaded, if its parent still lists that item's handle; a
 * click reaches the library only while it is loaded. */
#ifndef SMARTDRIVER_HOST_UI_H
#define SMARTDRIVER_HOST_UI_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define SD_HOST_UI_VERSION 1
#define SD_HOST_UI_SYMBOL "SmartDriverHostUi"

/* How a modal dialog was closed. */
#define SD_MODAL_OK 1
#define SD_MODAL_CANCEL 2

/* The settings dialog as a host shows it. Its editable controls are, top to bottom: "edIP" (server
 * address), "edPort" (discount server port), "edPortbn" (cashless server port), "seTimOut" (reply time-out
 * in whole seconds, 2 to 999) and "cbLog" (whether the operation log is written, "1" or "0"). Returned
 * texts stay valid until the next call of this interface or until show_dialog returns. */
typedef struct SdDialog {
  uint32_t size;                                             /* sizeof(SdDialog) */
  void* self;                                                /* first argument of every function below */
  int (*control_count)(void* self);                          /* number of editable controls: 5 */
  const char* (*control_name)(void* self, int index);        /* "edIP" ... "cbLog" by index; NULL beyond */
  const char* (*caption)(void* self, const char* name);      /* NULL: window caption; an edit or spin field:
                                                                the caption of its label; a label, check box
                                                                or button ("Label1", "BitBtn1"): its own;
                                                                NULL for an unknown name */
  const char* (*get)(void* self, const char* name);          /* a control's value as text; NULL if unknown */
  int (*set)(void* self, const char* name, const char* value); /* 0 when taken; -1 for an unknown control or
                                                                a value it cannot hold (a line break in an
                                                                edit, a spin value that is not a whole
                                                                number; an out-of-range one is clamped) */
} SdDialog;

/* The host's user interface. Handles: a form, a main menu, a menu item. */
typedef struct SdHostUi {
  uint32_t size;     /* sizeof(SdHostUi) as the host was built; smaller than this version's is ignored */
  uint32_t version;  /* SD_HOST_UI_VERSION */
  void* host;        /* the host's context, first argument of every function below */
  void* (*find_component)(void* host, const char* name);  /* a component of the host's application by name,
                                                              letter case ignored ("MainFrm"); NULL: none */
  void* (*main_menu)(void* host, void* form);             /* the form's main menu; NULL: none */
  int (*item_count)(void* host, void* menu);              /* number of the main menu's top-level items */
  void* (*item_at)(void* host, void* menu, int index);    /* top-level item by index, 0 first */
  int (*child_count)(void* host, void* item);             /* number of an item's children */
  void* (*child_at)(void* host, void* item, int index);   /* child by index, 0 first */
  const char* (*caption)(void* host, void* item);         /* an item's caption, "&" markers included;
                                                              "-" for a separator */
  void (*remove_child)(void* host, void* parent, void* child); /* removes the child from the menu and
                                                                   destroys it */
  void* (*append_child)(void* host, void* parent, const char* caption, void (*on_click)(void* ctx),
                        void* ctx);                       /* adds an item as the parent's last child; a click
                                                              calls on_click(ctx); returns the new item */
  void (*message_box)(void* host, const char* text, const char* caption); /* a modal box owned by no
                                                                             window, one OK button */
  int (*show_dialog)(void* host, const SdDialog* dialog); /* shows the dialog modally, filled as it is;
                                                              the host reads and sets its controls, then
                                                              returns SD_MODAL_OK (the library applies the
                                                              settings) or SD_MODAL_CANCEL */
} SdHostUi;

/* The function a host exports under the name SD_HOST_UI_SYMBOL. */
typedef const SdHostUi* (*SdHostUiFunction)(void);

#ifdef __cplusplus
}
#endif

#endif /* SMARTDRIVER_HOST_UI_H */
