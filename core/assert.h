// VS_ASSERT(cond): a fact about the player's own state that only a fault of
// ours can make false (a pointer every caller passes, an index our code
// computed, an order our own sequencing keeps). Bad content and script
// arguments are never asserted: they are checked where they come in and
// reported.
//
// With VS_ENABLE_ASSERT defined (the VS_ENABLE_ASSERT build option, on by
// default) a false condition writes "FILE:LINE: assertion failed: COND" to
// standard error and aborts. Without it the condition is still compiled, so
// it stays correct code, but never evaluated.
#pragma once

// Writes the message and aborts; VS_ASSERT's failing branch.
[[noreturn]] void vsAssertFailed(const char* file, int line, const char* condition);

#if defined(VS_ENABLE_ASSERT)

#if defined(__GNUC__)
#define VS_ASSERT(cond) \
  (__builtin_expect(!(cond), 0) ? vsAssertFailed(__FILE__, __LINE__, #cond) : (void)0)
#else
#define VS_ASSERT(cond) (!(cond) ? vsAssertFailed(__FILE__, __LINE__, #cond) : (void)0)
#endif

#else

#define VS_ASSERT(cond) ((void)sizeof(!(cond)))

#endif
