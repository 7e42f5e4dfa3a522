// The portable controller: owns a running player and its content package,
// and is where every content failure ends up.
#pragma once

#include <cstdint>

#include "controller/byte_buffer.h"

class CTRL_ScriptEngine;

class CTRL_Generic {
 public:
  explicit CTRL_Generic(CTRL_ScriptEngine* engine = nullptr);
  virtual ~CTRL_Generic();
  CTRL_Generic(const CTRL_Generic&) = delete;
  CTRL_Generic& operator=(const CTRL_Generic&) = delete;

  // Platform operations; the portable defaults do nothing.
  virtual int32_t registerDevice(int32_t vendorId, int32_t productId, int32_t index);
  virtual int32_t sendToDevice(int32_t device, const uint8_t* bytes, int32_t length);
  virtual void setCursor(int32_t shape);
  virtual void warpCursor(void* deviceContext, const double point[2]);
  virtual void openURL(const char* text);
  virtual void getLanguage(char* out);
  // Stops the content; only the first call counts. The message is not shown:
  // the failure screen shows the fixed text of the load state.
  virtual void fail(const char* format, ...)
#if defined(__GNUC__)
      __attribute__((format(printf, 2, 3)))
#endif
      ;

  // Content package. openPackage takes ownership of the buffer (a heap
  // ByteBuffer); on refusal the buffer is freed and no package is kept.
  bool openPackage(ByteBuffer* package);
  bool checkPackage();
  bool readConfig();
  // Finds a member by exact name. True exactly when *data is a new heap block
  // the caller must free(); stored members point into the package. With text
  // set the last byte is replaced by NUL (see package.cpp).
  bool readFile(const char* name, uint8_t** data, int32_t* size, bool text);

  // The package name for messages; nothing gives the package a name, so this
  // is usually a fixed word.
  const char* packageLabel() const;

  char language[8] = {};
  int32_t platform = 0;
  CTRL_ScriptEngine* engine = nullptr;
  ByteBuffer* package = nullptr;  // owned; null when none or dropped
  int32_t loadState = 0;          // 0 opening, 1 configuration read, 2 loading scripts, 3 running
  char* packageName = nullptr;    // owned (malloc); never set by the player itself
  bool stopped = false;           // fail has run
  char* failureText = nullptr;    // owned (malloc); the text the failure screen shows
  int32_t contentMajor = 0;       // content version from config.xml
  int32_t contentMinor = 0;
  int32_t contentPatch = 0;
  double dt = 0;  // time step of the current frame in seconds

  // Deletes the loading screen's logo object and image source, if any.
  void dropLoadingScreen();
};
