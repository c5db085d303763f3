#include "script/json_object.h"

#include <duktape.h>

#include <atomic>
#include <cmath>
#include <cstdio>

#include "script/engine_text.h"
#include "script/script_engine.h"

namespace {

// The document variable.
constexpr char kName[] = "da";

// Helpers every engine gets, then the three globals. JSON itself is the engine's own.
const char kPrelude[] = R"js(
function get__count(c){var obj=Object.prototype.toString.call(c);if(obj=='[object Array]'){return c.length}else{return 0}}
function get__name_All(a){var obj=Object.prototype.toString.call(a);if(obj=='[object Object]'){var ary=new Array();for(var key in a){if(typeof a[key]!=='function'){ary.push(key)}}return ary.join('\r\n')}else{return''}}
function get__extend(target, source) {
    var kind = Object.prototype.toString;
    if (kind.call(target) == '[object Array]') {
        if (kind.call(source) == '[object Array]') {
            for (var i = 0; i < source.length; i++) target.push(source[i]);
        } else {
            target.push(source);
        }
        return target;
    }
    // A plain value on either side cannot be merged: the new value takes its place.
    if (target === null || typeof target !== 'object' || source === null || typeof source !== 'object')
        return source;
    for (var key in source) {
        if (!Object.prototype.hasOwnProperty.call(source, key)) continue;
        var old = target[key];
        if (old !== null && typeof old === 'object')
            target[key] = get__extend(old, source[key]);
        else
            target[key] = source[key];
    }
    return target;
}
(function () {
    function hidden(name, fn) {
        Object.defineProperty(Object.prototype, name,
            {value: fn, writable: true, configurable: true, enumerable: false});
    }
    hidden('toJSONString', function (filter) { return JSON.stringify(this, filter); });
    hidden('parseJSON', function (filter) { return JSON.parse(String(this), filter); });
})();
var da = {}, str_Code = String.fromCharCode(9216), str_reg = new RegExp(str_Code, 'g');
)js";

enum class Want { kNothing, kBool, kNumber, kText, kStringOnly };

struct EvalJob {
    const std::string* script = nullptr;
    Want want = Want::kNothing;
    bool flag = false;
    double number = 0;
    bool hasText = false;
    std::string text;  // CESU-8
};

int EvalStep(duk_hthread* ctx, void* arg) {
    auto* job = static_cast<EvalJob*>(arg);
    duk_eval_lstring(ctx, job->script->data(), job->script->size());
    switch (job->want) {
        case Want::kNothing:
            break;
        case Want::kBool:
            job->flag = duk_to_boolean(ctx, -1) != 0;
            break;
        case Want::kNumber:
            job->number = duk_to_number(ctx, -1);
            break;
        case Want::kText:
        case Want::kStringOnly: {
            if (duk_is_null_or_undefined(ctx, -1))
                break;
            if (job->want == Want::kStringOnly && !duk_is_string(ctx, -1))
                break;
            duk_size_t n = 0;
            const char* p = duk_to_lstring(ctx, -1, &n);
            job->text.assign(p, n);  // no engine call follows
            job->hasText = true;
            break;
        }
    }
    return 0;
}

// Calls the function that `source` evaluates to with one argument: the text `value`, or the
// value it holds as JSON.
struct CallJob {
    const std::string* source = nullptr;
    const std::string* value = nullptr;
    bool valueIsJson = false;
};

int CallStep(duk_hthread* ctx, void* arg) {
    auto* job = static_cast<CallJob*>(arg);
    duk_eval_lstring(ctx, job->source->data(), job->source->size());
    duk_push_lstring(ctx, job->value->data(), job->value->size());
    if (job->valueIsJson)
        duk_json_decode(ctx, -1);
    duk_call(ctx, 1);
    return 0;
}

struct ParseJob {
    const std::string* json = nullptr;
    bool notNull = false;
};

// The document becomes null first, so a text that does not parse leaves no document.
int ParseStep(duk_hthread* ctx, void* arg) {
    auto* job = static_cast<ParseJob*>(arg);
    duk_push_null(ctx);
    duk_put_global_string(ctx, kName);
    duk_push_lstring(ctx, job->json->data(), job->json->size());
    duk_json_decode(ctx, -1);
    job->notNull = !duk_is_null_or_undefined(ctx, -1);
    duk_put_global_string(ctx, kName);
    return 0;
}

bool StartsWith(const Text& s, const char* prefix) {
    return s.compare(0, Text(prefix).size(), prefix) == 0;
}

Text Index(int i) {
    Text out = "[";
    out += std::to_string(i);
    out += ']';
    return out;
}

// A text value in single quotes, as the array operations take it (not escaped).
Text Quoted(const Text& value, bool valueIsJson) {
    return valueIsJson ? value : "'" + value + "'";
}

}  // namespace

JsonObject::JsonObject() {
    Create();
}

JsonObject::JsonObject(std::shared_ptr<ScriptEngine> engine) : engine_(std::move(engine)) {}

JsonObject::~JsonObject() = default;
JsonObject::JsonObject(const JsonObject&) = default;
JsonObject& JsonObject::operator=(const JsonObject&) = default;
JsonObject::JsonObject(JsonObject&&) noexcept = default;
JsonObject& JsonObject::operator=(JsonObject&&) noexcept = default;

bool JsonObject::Create() {
    engine_ = ScriptEngine::Create(kPrelude);
    return engine_ != nullptr;
}

bool JsonObject::Exec(const Text& script, bool* flag) const {
    if (!engine_)
        return false;
    std::string code = GbkToEngine(script);
    EvalJob job;
    job.script = &code;
    job.want = flag ? Want::kBool : Want::kNothing;
    bool ok = engine_->Run(EvalStep, &job);
    if (flag)
        *flag = ok && job.flag;
    return ok;
}

bool JsonObject::EvalEngineText(const Text& script, std::string& out) const {
    out.clear();
    if (!engine_)
        return false;
    std::string code = GbkToEngine(script);
    EvalJob job;
    job.script = &code;
    job.want = Want::kText;
    if (!engine_->Run(EvalStep, &job) || !job.hasText)
        return false;
    out = std::move(job.text);
    return true;
}

bool JsonObject::EvalText(const Text& script, Text& out, bool stringsOnly) const {
    out.clear();
    if (!engine_)
        return false;
    std::string code = GbkToEngine(script);
    EvalJob job;
    job.script = &code;
    job.want = stringsOnly ? Want::kStringOnly : Want::kText;
    if (!engine_->Run(EvalStep, &job) || !job.hasText)
        return false;
    out = EngineToGbk(job.text);
    return true;
}

double JsonObject::EvalNumber(const Text& script) const {
    if (!engine_)
        return 0;
    std::string code = GbkToEngine(script);
    EvalJob job;
    job.script = &code;
    job.want = Want::kNumber;
    if (!engine_->Run(EvalStep, &job) || std::isnan(job.number))
        return 0;
    return job.number;
}

bool JsonObject::ParseEngineText(const std::string& json, bool reuse) {
    // A fresh engine for every document; one nobody has used yet is fresh already.
    if (!(engine_ && (reuse || (engine_.use_count() == 1 && engine_->Pristine()))) && !Create())
        return false;
    ParseJob job;
    job.json = &json;
    return engine_->Run(ParseStep, &job) && job.notNull;
}

bool JsonObject::Parse(const Text& json) {
    return ParseEngineText(GbkToEngine(json));
}

bool JsonObject::Clear() {
    return Exec(Text(kName) + " = {}");
}

Text JsonObject::ToText() const {
    Text out;
    EvalText("JSON.stringify(" + Text(kName) + ")", out);
    return out;
}

bool JsonObject::ResolvePath(Text& path) const {
    bool held = false;
    if (StartsWith(path, kName) && Exec(path + " != null", &held) && held)
        return true;
    if (path.empty())
        path = kName;
    else if (path[0] == '[')
        path = kName + path;
    else
        path = Text(kName) + "." + path;
    Exec(path + " != null", &held);
    return held;
}

Text JsonObject::Resolved(const Text& path, bool* held) const {
    Text p = path;
    bool h = ResolvePath(p);
    if (held)
        *held = h;
    return p;
}

// Stores at the expression `target` without putting the value into script text: the value
// travels as an argument, as a text or parsed strictly as JSON.
bool JsonObject::Store(const Text& target, const Text& value, bool valueIsJson, bool merge) {
    if (!engine_)
        return false;
    const Text body = merge ? target + " = get__extend(" + target + ", v);" : target + " = v;";
    std::string source = GbkToEngine("(function (v) { " + body + " })");
    std::string v = GbkToEngine(value);
    CallJob job;
    job.source = &source;
    job.value = &v;
    job.valueIsJson = valueIsJson;
    return engine_->Run(CallStep, &job);
}

bool JsonObject::SetMember(const Text& path, const Text& value, bool value_is_json) {
    bool held = false;
    Text p = Resolved(path, &held);
    if (value_is_json)
        return Store(p, value.empty() ? Text("{}") : value, true, held);
    return Store(p, value, false, false);
}

bool JsonObject::SetExpression(const Text& path, const Text& expression) {
    return Exec(Resolved(path) + " = eval(" + expression + ")");
}

int JsonObject::TypeOf(const Text& path) const {
    const Text p = Resolved(path);
    bool isNull = false;
    if (!Exec(p + " == null", &isNull) || isNull)
        return kJsonNull;
    Text kind;
    EvalText("Object.prototype.toString.call(" + p + ")", kind);
    if (kind == "[object Boolean]")
        return kJsonBoolean;
    if (kind == "[object Number]")
        return kJsonNumber;
    if (kind == "[object Object]")
        return kJsonObject;
    if (kind == "[object Array]")
        return kJsonArray;
    if (kind == "[object String]")
        return kJsonString;
    return kJsonOther;
}

Text JsonObject::GetText(const Text& path, bool as_json) const {
    const Text p = Resolved(path);
    Text out;
    EvalText(as_json ? "JSON.stringify(" + p + ")" : p + ".toString()", out);
    return out;
}

int JsonObject::MemberNames(std::vector<Text>& names, const Text& path) const {
    names.clear();
    Text all;
    EvalText("get__name_All(" + Resolved(path) + ")", all);
    std::size_t from = 0;
    while (!all.empty()) {
        std::size_t at = all.find("\r\n", from);
        names.push_back(all.substr(from, at == Text::npos ? Text::npos : at - from));
        if (at == Text::npos)
            break;
        from = at + 2;
    }
    return static_cast<int>(names.size());
}

int JsonObject::ArrayLength(const Text& path) const {
    return static_cast<int>(EvalNumber("get__count(" + Resolved(path) + ")"));
}

JsonObject JsonObject::ObjectFrom(const Text& expression) const {
    JsonObject child;
    std::string json;
    EvalEngineText("JSON.stringify(" + expression + ")", json);
    child.ParseEngineText(json);
    return child;
}

JsonObject JsonObject::GetObject(const Text& path) const {
    return ObjectFrom(Resolved(path));
}

bool JsonObject::ArrayAppend(const Text& value, const Text& path, bool value_is_json) {
    const Text p = Resolved(path);
    return Exec("if (Object.prototype.toString.call(" + p + ") != '[object Array]') { " + p +
                " = new Array() } " + p + ".push(" + Quoted(value, value_is_json) + ")");
}

JsonObject JsonObject::GetElementObject(int index, const Text& path) const {
    return ObjectFrom(Resolved(path) + Index(index));
}

Text JsonObject::GetElementText(int index, const Text& path, bool as_json) const {
    const Text element = Resolved(path) + Index(index);
    Text out;
    if (as_json)
        EvalText("JSON.stringify(" + element + ")", out);
    else
        EvalText(element, out, true);
    return out;
}

bool JsonObject::SetElement(int index, const Text& path, const Text& value, bool value_is_json) {
    return Exec(Resolved(path) + Index(index) + " = " + Quoted(value, value_is_json));
}

bool JsonObject::RemoveElement(int index, const Text& path) {
    return Exec(Resolved(path) + ".splice(" + std::to_string(index) + ", 1)");
}

bool JsonObject::DeleteMember(const Text& path) {
    bool deleted = false;
    Exec("delete " + Resolved(path), &deleted);
    return deleted;
}

bool JsonObject::SetNumber(const Text& path, double x) {
    char number[40];
    std::snprintf(number, sizeof number, "%.13g", x);
    return Exec(Resolved(path) + " = " + number);
}

double JsonObject::GetNumber(const Text& path) const {
    return EvalNumber(Resolved(path));
}

Text JsonObject::GetJsonText(const Text& path) const {
    Text out;
    EvalText("JSON.stringify(" + Resolved(path) + ")", out);
    return out;
}

std::shared_ptr<ScriptEngine> JsonObject::GetEngine() const {
    return engine_;
}

namespace {

// The engine the lookups share, one at a time, whatever their thread: making an engine (a heap
// and its helpers) is most of a lookup's time, and a lookup leaves nothing in it but its
// document, which the next one's parse replaces. Never freed, as a thread may still look
// something up while the statics are destroyed at exit.
std::atomic<bool> g_lookupEngineBusy{false};
std::shared_ptr<ScriptEngine>* const g_lookupEngine = new std::shared_ptr<ScriptEngine>;

// An engine that holds more than this after a lookup (a large document) is let go.
constexpr std::size_t kKeptLookupHeap = 1 << 20;

std::shared_ptr<ScriptEngine> TakeLookupEngine() {
    std::shared_ptr<ScriptEngine> engine;
    if (!g_lookupEngineBusy.exchange(true)) {
        engine = std::move(*g_lookupEngine);
        g_lookupEngineBusy.store(false);
    }
    return engine ? engine : ScriptEngine::Create(kPrelude);
}

void KeepLookupEngine(std::shared_ptr<ScriptEngine> engine) {
    if (!engine || engine.use_count() != 1 || engine->HeapBytes() > kKeptLookupHeap)
        return;
    if (!g_lookupEngineBusy.exchange(true)) {
        if (!*g_lookupEngine)
            *g_lookupEngine = std::move(engine);
        g_lookupEngineBusy.store(false);
    }
}

Text LookUp(JsonObject& object, const Text& path) {
    switch (object.TypeOf(path)) {
        case kJsonBoolean:
            return object.GetJsonText(path);
        case kJsonNumber:
            return object.GetObject(path).ToText();
        case kJsonString:
            return object.GetText(path, false);
        default:
            return object.GetText(path, true);
    }
}

}  // namespace

Text JsonLookup(Text& json, const Text& path) {
    Text stripped;
    stripped.reserve(json.size());
    for (char c : json) {
        if (c != '\r' && c != '\n')
            stripped += c;
    }
    json = std::move(stripped);
    JsonObject object(TakeLookupEngine());
    const Text found =
        object.ParseEngineText(GbkToEngine(json), true) ? LookUp(object, path) : "JSON解析失败";
    KeepLookupEngine(std::move(object.engine_));
    return found;
}
