// Script values of the renderer process. Every call on the renderer's main thread
// (TID_RENDERER). Objects, arrays and functions can only be made inside an entered context.
#ifndef CEF_INCLUDE_CEF_V8_H_
#define CEF_INCLUDE_CEF_V8_H_

#include <vector>

#include "include/cef_base.h"
#include "include/cef_browser.h"
#include "include/cef_frame.h"

class CefV8Exception;
class CefV8Handler;
class CefV8StackFrame;
class CefV8Value;

// The script context of one document of a frame. Each call that hands out a context gives a new
// object; compare them with IsSame.
class CefV8Context : public virtual CefBase {
 public:
  static CefRefPtr<CefV8Context> GetCurrentContext();
  static CefRefPtr<CefV8Context> GetEnteredContext();
  static bool InContext();

  // False once the document was released.
  virtual bool IsValid() = 0;
  virtual CefRefPtr<CefBrowser> GetBrowser() = 0;
  virtual CefRefPtr<CefFrame> GetFrame() = 0;
  virtual CefRefPtr<CefV8Value> GetGlobal() = 0;
  // Enter/Exit must pair; Enter is false for an invalid context.
  virtual bool Enter() = 0;
  virtual bool Exit() = 0;
  virtual bool IsSame(CefRefPtr<CefV8Context> that) = 0;
  virtual bool Eval(const CefString& code, CefRefPtr<CefV8Value>& retval, CefRefPtr<CefV8Exception>& exception) = 0;
};

typedef std::vector<CefRefPtr<CefV8Value>> CefV8ValueList;

// Native implementation of script functions.
class CefV8Handler : public virtual CefBase {
 public:
  // True: handled (a non-empty `exception` throws it, else `retval` or undefined is returned);
  // false: undefined.
  virtual bool Execute(const CefString& name, CefRefPtr<CefV8Value> object, const CefV8ValueList& arguments,
                       CefRefPtr<CefV8Value>& retval, CefString& exception) = 0;
};

// Native property accessors of an object.
class CefV8Accessor : public virtual CefBase {
 public:
  virtual bool Get(const CefString& name, const CefRefPtr<CefV8Value> object, CefRefPtr<CefV8Value>& retval,
                   CefString& exception) = 0;
  virtual bool Set(const CefString& name, const CefRefPtr<CefV8Value> object, const CefRefPtr<CefV8Value> value,
                   CefString& exception) = 0;
};

// A script exception.
class CefV8Exception : public virtual CefBase {
 public:
  virtual CefString GetMessage() = 0;
  virtual CefString GetSourceLine() = 0;
  virtual CefString GetScriptResourceName() = 0;
  virtual int GetLineNumber() = 0;
  virtual int GetStartPosition() = 0;
  virtual int GetEndPosition() = 0;
  virtual int GetStartColumn() = 0;
  virtual int GetEndColumn() = 0;
};

// One script value. Values belong to the context that made them and become invalid when it is
// released; getters then give defaults.
class CefV8Value : public virtual CefBase {
 public:
  typedef cef_v8_accesscontrol_t AccessControl;
  typedef cef_v8_propertyattribute_t PropertyAttribute;

  static CefRefPtr<CefV8Value> CreateUndefined();
  static CefRefPtr<CefV8Value> CreateNull();
  static CefRefPtr<CefV8Value> CreateBool(bool value);
  static CefRefPtr<CefV8Value> CreateInt(int32 value);
  static CefRefPtr<CefV8Value> CreateUInt(uint32 value);
  static CefRefPtr<CefV8Value> CreateDouble(double value);
  static CefRefPtr<CefV8Value> CreateDate(const CefTime& date);
  static CefRefPtr<CefV8Value> CreateString(const CefString& value);
  // Null outside an entered context.
  static CefRefPtr<CefV8Value> CreateObject(CefRefPtr<CefV8Accessor> accessor);
  static CefRefPtr<CefV8Value> CreateArray(int length);
  static CefRefPtr<CefV8Value> CreateFunction(const CefString& name, CefRefPtr<CefV8Handler> handler);

  virtual bool IsValid() = 0;
  virtual bool IsUndefined() = 0;
  virtual bool IsNull() = 0;
  virtual bool IsBool() = 0;
  virtual bool IsInt() = 0;
  virtual bool IsUInt() = 0;
  virtual bool IsDouble() = 0;
  virtual bool IsDate() = 0;
  virtual bool IsString() = 0;
  virtual bool IsObject() = 0;
  virtual bool IsArray() = 0;
  virtual bool IsFunction() = 0;
  virtual bool IsSame(CefRefPtr<CefV8Value> that) = 0;
  virtual bool GetBoolValue() = 0;
  virtual int32 GetIntValue() = 0;
  virtual uint32 GetUIntValue() = 0;
  virtual double GetDoubleValue() = 0;
  virtual CefTime GetDateValue() = 0;
  // "" for anything but a string.
  virtual CefString GetStringValue() = 0;

  virtual bool IsUserCreated() = 0;
  virtual bool HasException() = 0;
  virtual CefRefPtr<CefV8Exception> GetException() = 0;
  virtual bool ClearException() = 0;
  virtual bool WillRethrowExceptions() = 0;
  virtual bool SetRethrowExceptions(bool rethrow) = 0;

  // Own properties only.
  virtual bool HasValue(const CefString& key) = 0;
  virtual bool HasValue(int index) = 0;
  virtual bool DeleteValue(const CefString& key) = 0;
  virtual bool DeleteValue(int index) = 0;
  virtual CefRefPtr<CefV8Value> GetValue(const CefString& key) = 0;
  virtual CefRefPtr<CefV8Value> GetValue(int index) = 0;
  // False, value unchanged, when the existing property is read-only.
  virtual bool SetValue(const CefString& key, CefRefPtr<CefV8Value> value, PropertyAttribute attribute) = 0;
  virtual bool SetValue(int index, CefRefPtr<CefV8Value> value) = 0;
  virtual bool SetValue(const CefString& key, AccessControl settings, PropertyAttribute attribute) = 0;
  virtual bool GetKeys(std::vector<CefString>& keys) = 0;
  virtual bool SetUserData(CefRefPtr<CefBase> user_data) = 0;
  virtual CefRefPtr<CefBase> GetUserData() = 0;
  virtual int GetArrayLength() = 0;
  // The name given at creation; "" for anonymous functions and non-functions.
  virtual CefString GetFunctionName() = 0;
  virtual CefRefPtr<CefV8Handler> GetFunctionHandler() = 0;
  // Calls the function with `object` as receiver (null: the global object). Null result with
  // HasException() true when it threw.
  virtual CefRefPtr<CefV8Value> ExecuteFunction(CefRefPtr<CefV8Value> object, const CefV8ValueList& arguments) = 0;
  virtual CefRefPtr<CefV8Value> ExecuteFunctionWithContext(CefRefPtr<CefV8Context> context,
                                                           CefRefPtr<CefV8Value> object,
                                                           const CefV8ValueList& arguments) = 0;
};

// The script call stack.
class CefV8StackTrace : public virtual CefBase {
 public:
  static CefRefPtr<CefV8StackTrace> GetCurrent(int frame_limit);

  virtual bool IsValid() = 0;
  virtual int GetFrameCount() = 0;
  virtual CefRefPtr<CefV8StackFrame> GetFrame(int index) = 0;
};

class CefV8StackFrame : public virtual CefBase {
 public:
  virtual bool IsValid() = 0;
  virtual CefString GetScriptName() = 0;
  virtual CefString GetFunctionName() = 0;
  virtual int GetLineNumber() = 0;
  virtual int GetColumn() = 0;
};

#endif  // CEF_INCLUDE_CEF_V8_H_
