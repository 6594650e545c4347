// Toolbox services: the "not a number" value, and calls deferred to the user-interface thread.
#pragma once

#include <functional>

// A positive quiet NaN: printf's "%f" writes it as "nan".
double NotANumber();
bool IsNotANumber(double value);

using DeferredCallbackPtr = void (*)(void *data);

// Runs fn(data) on the user-interface thread once `delaySeconds` have passed on the program's
// clock (a negative or invalid delay counts as 0). Returns 0, or UTE_BAD_ARGUMENT of
// platform/utility.h when fn is null.
// Safe from any thread.
int PostDelayedCall(DeferredCallbackPtr fn, void *data, double delaySeconds);

// Calls with this `data` that have not started yet will never run. If such a call is running
// on another thread, waits until it has returned, so that once this returns nothing reaches
// `data` any more; a call that cancels its own `data` is not waited for. An instrument calls
// this before it frees the record it gave as `data`.
void CancelDelayedCalls(void *data);

// How delayed calls reach the user-interface thread: PostToUiThread of the user-interface
// layer, unless replaced (tests run without an event loop and post to a queue of their own).
// Null restores PostToUiThread.
using DelayedCallPoster = void (*)(std::function<void()> fn, double delaySeconds);
void SetDelayedCallPoster(DelayedCallPoster poster);
