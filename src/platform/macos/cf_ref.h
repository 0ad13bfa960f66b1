// Owners for CoreFoundation objects, IOKit objects and plug-in interfaces.
#pragma once

#include <CoreFoundation/CoreFoundation.h>
#include <IOKit/IOKitLib.h>

#include "platform/macos/scoped_ref.h"

namespace platform::macos {

// Any CoreFoundation object (CFRetain / CFRelease).
template <class T>
struct CfTraits {
  static T Null() { return nullptr; }
  static void Retain(T ref) { CFRetain(ref); }
  static void Release(T ref) { CFRelease(ref); }
};
template <class T>
using CfRef = ScopedRef<T, CfTraits<T>>;

// An IOKit object such as a registry service (IOObjectRetain /
// IOObjectRelease).
struct IoObjectTraits {
  static io_object_t Null() { return IO_OBJECT_NULL; }
  static void Retain(io_object_t object) { IOObjectRetain(object); }
  static void Release(io_object_t object) { IOObjectRelease(object); }
};
using IoObjectRef = ScopedRef<io_object_t, IoObjectTraits>;

// An interface of a plug-in, reached as a pointer to a pointer to its
// function table, counted through the table's AddRef and Release.
template <class Interface>
struct ComTraits {
  static Interface** Null() { return nullptr; }
  static void Retain(Interface** ref) { (*ref)->AddRef(ref); }
  static void Release(Interface** ref) { (*ref)->Release(ref); }
};
template <class Interface>
using ComRef = ScopedRef<Interface**, ComTraits<Interface>>;

}  // namespace platform::macos
