// JSON documents held in an embedded JavaScript engine (Duktape). The document lives in the
// script variable "da"; operations name values inside it by paths ("" for the document,
// "a.b", "[0].name", or an expression starting with "da"). Texts are GBK.
//
// Every object has its own engine heap, bounded in run time per call and in memory, so a
// script fragment can neither hang the program nor exhaust its memory; a call past a bound
// fails. Nothing throws: failures give false, "" or 0.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "core/types.h"

class ScriptEngine;

// TypeOf codes.
enum JsonType : int {
    kJsonNull = 0,  // null or absent
    kJsonBoolean = 1,
    kJsonNumber = 2,
    kJsonObject = 4,
    kJsonArray = 5,
    kJsonString = 6,
    kJsonOther = 255,
};

class JsonObject {
  public:
    // Starts with an empty document ({}).
    JsonObject();
    ~JsonObject();
    // A copy refers to the same engine (and so the same document), like a second reference.
    JsonObject(const JsonObject&);
    JsonObject& operator=(const JsonObject&);
    JsonObject(JsonObject&&) noexcept;
    JsonObject& operator=(JsonObject&&) noexcept;

    // A fresh engine with an empty document and the helper functions. False when no engine
    // could be made.
    bool Create();
    // A fresh engine whose document is `json`, read by a strict JSON parser (the text is never
    // run as script). True when the document is not null.
    bool Parse(const Text& json);
    bool Clear();
    // The document as JSON text.
    Text ToText() const;
    // Stores `value` at `path`: as a JSON text (merged into an existing value) or as a text.
    bool SetMember(const Text& path, const Text& value, bool value_is_json = false);
    // Stores the result of evaluating the script expression `expression` at `path`.
    bool SetExpression(const Text& path, const Text& expression);
    // Turns `path` into an absolute script expression; true when a value is there.
    bool ResolvePath(Text& path) const;
    int TypeOf(const Text& path) const;
    Text GetText(const Text& path, bool as_json = false) const;
    // The member names of the object at `path` (replacing `names`); returns their number.
    int MemberNames(std::vector<Text>& names, const Text& path) const;
    int ArrayLength(const Text& path) const;
    // An independent object (own engine) holding a copy of the value at `path`.
    JsonObject GetObject(const Text& path) const;
    // Appends to the array at `path` (made an array first when it is not one). A value that
    // is not JSON is put in single quotes without escaping.
    bool ArrayAppend(const Text& value, const Text& path, bool value_is_json = false);
    JsonObject GetElementObject(int index, const Text& path) const;
    // Not as JSON, only text elements give a text.
    Text GetElementText(int index, const Text& path, bool as_json = false) const;
    bool SetElement(int index, const Text& path, const Text& value, bool value_is_json = false);
    bool RemoveElement(int index, const Text& path);
    bool DeleteMember(const Text& path);
    bool SetNumber(const Text& path, double x);
    double GetNumber(const Text& path) const;
    Text GetJsonText(const Text& path) const;
    // A second reference to the engine (null when there is none).
    std::shared_ptr<ScriptEngine> GetEngine() const;

  private:
    friend Text JsonLookup(Text& json, const Text& path);
    // Parses into `engine` as it is (JsonLookup's kept engine), or into a fresh one.
    explicit JsonObject(std::shared_ptr<ScriptEngine> engine);
    bool ParseEngineText(const std::string& json, bool reuse = false);
    // Runs `script`; true when it ran without error. With `flag`, also its value as a boolean.
    bool Exec(const Text& script, bool* flag = nullptr) const;
    bool EvalText(const Text& script, Text& out, bool stringsOnly = false) const;
    bool EvalEngineText(const Text& script, std::string& out) const;
    double EvalNumber(const Text& script) const;
    Text Resolved(const Text& path, bool* held = nullptr) const;
    bool Store(const Text& target, const Text& value, bool valueIsJson, bool merge);
    JsonObject ObjectFrom(const Text& expression) const;

    std::shared_ptr<ScriptEngine> engine_;
};

// Reads one value of a JSON answer. CR and LF are removed from `json` (in place). Gives
// "JSON解析失败" when the text is not JSON; a boolean as true/false, a number as its JSON
// text, a text as itself, anything else as JSON; "" when nothing is at `path`.
Text JsonLookup(Text& json, const Text& path);
