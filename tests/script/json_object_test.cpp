// JsonObject and JsonLookup: strict parsing, exact texts, bounded scripts.
#include "script/json_object.h"

#include <duktape.h>
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "script/engine_text.h"
#include "script/script_engine.h"

namespace {

struct LookupCase {
    const char* name;
    Text json;
    Text path;
    Text expected;
};

class Lookup : public testing::TestWithParam<LookupCase> {};

TEST_P(Lookup, ReadsOneValue) {
    const LookupCase& c = GetParam();
    Text json = c.json;
    EXPECT_EQ(JsonLookup(json, c.path), c.expected);
}

const char kAnswer[] =
    "{\"canDownload\":true,\"free\":false,\"size\":1024,\"ratio\":-1.5,\"big\":1e21,"
    "\"name\":\"方正兰亭黑\",\"note\":\"a\\\\b \\\"q\\\" \\n end\",\"none\":null,"
    "\"data\":{\"x\":\"1\",\"list\":[{\"id\":7},{\"id\":8,\"tags\":[\"粗\",\"细\"]}]}}";

INSTANTIATE_TEST_SUITE_P(
    Cases,
    Lookup,
    testing::Values(
        LookupCase{"True", kAnswer, "canDownload", "true"},
        LookupCase{"False", kAnswer, "free", "false"},
        LookupCase{"Integer", kAnswer, "size", "1024"},
        LookupCase{"Fraction", kAnswer, "ratio", "-1.5"},
        LookupCase{"LargeNumber", kAnswer, "big", "1e+21"},
        LookupCase{"TextIsRaw", kAnswer, "name", "方正兰亭黑"},
        LookupCase{"EscapesDecoded", kAnswer, "note", "a\\b \"q\" \n end"},
        LookupCase{"NullMember", kAnswer, "none", "null"},
        LookupCase{"Nested", kAnswer, "data.list[1].id", "8"},
        LookupCase{"NestedArray", kAnswer, "data.list[1].tags", "[\"粗\",\"细\"]"},
        LookupCase{"Object", kAnswer, "data.list[0]", "{\"id\":7}"},
        LookupCase{"PathWithDocumentName", kAnswer, "da.canDownload", "true"},
        // Starts with the letters "da" but names no script variable: read as a member path.
        LookupCase{"PathStartingWithDa", kAnswer, "data.x", "1"},
        LookupCase{"IndexPath", "[{\"a\":\"x\"},{\"a\":\"y\"}]", "[1].a", "y"},
        LookupCase{"WholeDocument", "{\"a\":[1,2]}", "", "{\"a\":[1,2]}"},
        LookupCase{"Missing", kAnswer, "nothing", ""},
        LookupCase{"MissingNested", kAnswer, "nothing.at.all", ""},
        LookupCase{"LineBreaksRemoved", "{\"a\":\r\n \"x\",\r\n\"b\":2}", "a", "x"},
        LookupCase{"Empty", "", "a", "JSON解析失败"},
        LookupCase{"Truncated", "{\"canDownload\":tr", "canDownload", "JSON解析失败"},
        LookupCase{"SingleQuotes", "{'canDownload':true}", "canDownload", "JSON解析失败"},
        LookupCase{"NullDocument", "null", "", "JSON解析失败"},
        LookupCase{"ErrorPage", "<html>502 Bad Gateway</html>", "canDownload", "JSON解析失败"}),
    [](const testing::TestParamInfo<LookupCase>& info) { return std::string(info.param.name); });

TEST(JsonLookup, RemovesLineBreaksFromTheCallersText) {
    Text json = "{\r\n\"a\": \"x\\ny\"\r\n}\n";
    EXPECT_EQ(JsonLookup(json, "a"), "x\ny");
    EXPECT_EQ(json, "{\"a\": \"x\\ny\"}");
}

TEST(JsonLookup, EachLookupSeesItsOwnDocumentOnly) {
    // The lookups share an engine one after another: nothing of an earlier document remains.
    for (const auto& [answer, expected] : std::vector<std::pair<Text, Text>>{
             {"{\"canDownload\":true,\"x\":1}", "true"},
             {"{}", ""},
             {"{\"canDownload\":", "JSON解析失败"},
             {"{\"x\":1}", ""},
             {"{\"canDownload\":\"yes\"}", "yes"},
         }) {
        Text json = answer;
        EXPECT_EQ(JsonLookup(json, "canDownload"), expected) << answer;
    }
}

TEST(JsonLookup, AnswersThatAreScriptsRunNothing) {
    const long timeouts = ScriptEngine::TimeoutCount();
    const Text answers[] = {
        "{\"canDownload\": (function(){return true})()}",
        "alert(1)",
        "{\"a\":1};while(1){}",
        "(function(){while(1){}})()",
    };
    for (const Text& answer : answers) {
        Text json = answer;
        EXPECT_EQ(JsonLookup(json, "canDownload"), "JSON解析失败") << answer;
    }
    // None of them ran into the time limit, so none of them ran.
    EXPECT_EQ(ScriptEngine::TimeoutCount(), timeouts);

    // And an answer cannot leave anything behind in the engine that parsed it.
    JsonObject object;
    EXPECT_FALSE(object.Parse("(function(){ran = 1; return {}})()"));
    EXPECT_EQ(object.TypeOf(""), kJsonNull);
    ASSERT_TRUE(object.Clear());
    ASSERT_TRUE(object.SetExpression("r", "'typeof ran'"));
    EXPECT_EQ(object.GetText("r"), "undefined");
}

TEST(JsonObject, TextsSurviveAsTheyAre) {
    const Text value = "C:\\字体\\new \"黑体\" it's\r\nline 2\t\\\\end\\";
    JsonObject object;
    ASSERT_TRUE(object.SetMember("s", value));
    EXPECT_EQ(object.GetText("s"), value);
    const Text json = object.ToText();
    EXPECT_EQ(json,
              "{\"s\":\"C:\\\\字体\\\\new \\\"黑体\\\" it's\\r\\nline 2\\t\\\\\\\\end\\\\\"}");
    EXPECT_EQ(object.GetJsonText("s"), object.GetText("s", true));

    JsonObject again;
    ASSERT_TRUE(again.Parse(json));
    EXPECT_EQ(again.GetText("s"), value);
    EXPECT_EQ(again.ToText(), json);
    Text copy = json;
    EXPECT_EQ(JsonLookup(copy, "s"), value);
    // The script globals exist, and are nothing but values.
    ASSERT_TRUE(object.SetExpression("c", "'str_Code.charCodeAt(0) + (str_reg.global ? 1 : 0)'"));
    EXPECT_EQ(object.GetNumber("c"), 9217);
}

TEST(JsonObject, NamesAndTextsInGbk) {
    JsonObject object;
    ASSERT_TRUE(object.SetMember("名称", "方正黑体"));
    ASSERT_TRUE(object.SetMember("大小", "12", true));
    EXPECT_EQ(object.ToText(), "{\"名称\":\"方正黑体\",\"大小\":12}");
    std::vector<Text> names{"old"};
    EXPECT_EQ(object.MemberNames(names, ""), 2);
    EXPECT_EQ(names, (std::vector<Text>{"名称", "大小"}));
}

TEST(JsonObject, CharactersBeyondTheBmpKeepTheirLength) {
    JsonObject object;
    ASSERT_TRUE(object.Parse("{\"e\":\"\\ud83d\\ude00x\"}"));
    ASSERT_TRUE(object.SetExpression("n", "'da.e.length * 100000 + da.e.charCodeAt(1)'"));
    EXPECT_EQ(object.GetNumber("n"), 3 * 100000 + 0xDE00);

    const std::u16string smile = u"a\U0001F600b";
    const std::string cesu = Utf16ToCesu8(smile);
    EXPECT_EQ(cesu,
              "a\xED\xA0\xBD\xED\xB8\x80"
              "b");
    EXPECT_EQ(Cesu8ToUtf16(cesu), smile);
    EXPECT_EQ(Cesu8ToUtf16("a\xF0\x9F\x98\x80"
                           "b"),
              smile);  // four-byte UTF-8 too
    EXPECT_EQ(Cesu8ToUtf16("\xC0\xAF\xE4\xB8"
                           "x"),
              u"\uFFFD\uFFFD\uFFFD\uFFFDx");
}

TEST(JsonObject, TypeCodes) {
    JsonObject object;
    ASSERT_TRUE(object.Parse("{\"b\":false,\"n\":0,\"o\":{},\"a\":[],\"s\":\"\",\"z\":null}"));
    EXPECT_EQ(object.TypeOf("b"), kJsonBoolean);
    EXPECT_EQ(object.TypeOf("n"), kJsonNumber);
    EXPECT_EQ(object.TypeOf("o"), kJsonObject);
    EXPECT_EQ(object.TypeOf("a"), kJsonArray);
    EXPECT_EQ(object.TypeOf("s"), kJsonString);
    EXPECT_EQ(object.TypeOf("z"), kJsonNull);
    EXPECT_EQ(object.TypeOf("missing"), kJsonNull);
    EXPECT_EQ(object.TypeOf("missing.deeper"), kJsonNull);
    EXPECT_EQ(object.TypeOf(""), kJsonObject);
    ASSERT_TRUE(object.SetExpression("f", "'(function(){})'"));
    EXPECT_EQ(object.TypeOf("f"), kJsonOther);
}

TEST(JsonObject, ResolvePath) {
    JsonObject object;
    ASSERT_TRUE(object.Parse("{\"data\":{\"x\":1},\"list\":[5]}"));
    Text path = "data.x";
    EXPECT_TRUE(object.ResolvePath(path));
    EXPECT_EQ(path, "da.data.x");
    path = "da.list[0]";
    EXPECT_TRUE(object.ResolvePath(path));
    EXPECT_EQ(path, "da.list[0]");
    path = "[0]";
    EXPECT_FALSE(object.ResolvePath(path));
    EXPECT_EQ(path, "da[0]");
    path = "";
    EXPECT_TRUE(object.ResolvePath(path));
    EXPECT_EQ(path, "da");
}

TEST(JsonObject, MergingJsonIntoExistingValues) {
    JsonObject object;
    ASSERT_TRUE(object.Parse(
        "{\"o\":{\"keep\":1,\"n\":2,\"s\":\"a\",\"b\":true,\"in\":{\"x\":1}},\"a\":[1]}"));
    ASSERT_TRUE(object.SetMember(
        "o", "{\"n\":3,\"s\":\"b\",\"b\":false,\"in\":{\"y\":2},\"new\":[]}", true));
    EXPECT_EQ(object.GetJsonText("o"),
              "{\"keep\":1,\"n\":3,\"s\":\"b\",\"b\":false,\"in\":{\"x\":1,\"y\":2},\"new\":[]}");
    ASSERT_TRUE(object.SetMember("a", "[2,3]", true));
    ASSERT_TRUE(object.SetMember("a", "{\"k\":4}", true));
    EXPECT_EQ(object.GetJsonText("a"), "[1,2,3,{\"k\":4}]");
    ASSERT_TRUE(object.SetMember("fresh", "", true));
    EXPECT_EQ(object.GetJsonText("fresh"), "{}");
    ASSERT_TRUE(object.SetMember("o.keep", "\"text now\"", true));
    EXPECT_EQ(object.GetText("o.keep"), "text now");
    // A value said to be JSON must be JSON; it is never run.
    EXPECT_FALSE(object.SetMember("x", "(function(){return 1})()", true));
    EXPECT_FALSE(object.SetMember("x", "{'a':1}", true));
    EXPECT_EQ(object.TypeOf("x"), kJsonNull);
    // A member of something absent cannot be stored.
    EXPECT_FALSE(object.SetMember("nothing.here", "v"));
}

TEST(JsonObject, ArrayOperations) {
    JsonObject object;
    ASSERT_TRUE(object.SetMember("list", "7"));  // a text; appending makes it an array
    ASSERT_TRUE(object.ArrayAppend("甲", "list"));
    ASSERT_TRUE(object.ArrayAppend("{\"id\":2}", "list", true));
    ASSERT_TRUE(object.ArrayAppend("3", "list", true));
    EXPECT_EQ(object.GetJsonText("list"), "[\"甲\",{\"id\":2},3]");
    EXPECT_EQ(object.ArrayLength("list"), 3);
    EXPECT_EQ(object.ArrayLength(""), 0);
    EXPECT_EQ(object.GetElementText(0, "list"), "甲");
    EXPECT_EQ(object.GetElementText(1, "list", true), "{\"id\":2}");
    EXPECT_EQ(object.GetElementText(2, "list"), "");  // not a text
    EXPECT_EQ(object.GetElementText(2, "list", true), "3");
    JsonObject element = object.GetElementObject(1, "list");
    EXPECT_EQ(element.GetNumber("id"), 2);
    ASSERT_TRUE(element.SetNumber("id", 9));
    EXPECT_EQ(object.GetElementText(1, "list", true), "{\"id\":2}");  // independent
    ASSERT_TRUE(object.SetElement(0, "list", "乙"));
    ASSERT_TRUE(object.SetElement(3, "list", "[true]", true));
    ASSERT_TRUE(object.RemoveElement(1, "list"));
    EXPECT_EQ(object.GetJsonText("list"), "[\"乙\",3,[true]]");
    // Plain texts are quoted, not escaped: a quote in them breaks the script.
    EXPECT_FALSE(object.ArrayAppend("it's", "list"));
    EXPECT_FALSE(object.SetElement(0, "list", "it's"));
    EXPECT_FALSE(object.RemoveElement(0, "missing"));
    EXPECT_EQ(object.ArrayLength("list"), 3);
}

TEST(JsonObject, MembersNumbersAndObjects) {
    JsonObject object;
    ASSERT_TRUE(object.Parse("{\"a\":1,\"b\":{\"c\":[1,2]},\"s\":\"x\"}"));
    std::vector<Text> names;
    EXPECT_EQ(object.MemberNames(names, ""), 3);
    EXPECT_EQ(names, (std::vector<Text>{"a", "b", "s"}));
    EXPECT_EQ(object.MemberNames(names, "b.c"), 0);
    EXPECT_TRUE(names.empty());
    ASSERT_TRUE(object.SetNumber("n", 0.1 + 0.2));
    EXPECT_EQ(object.GetJsonText("n"), "0.3");
    EXPECT_EQ(object.GetNumber("b.c[1]"), 2);
    EXPECT_EQ(object.GetNumber("s"), 0);
    EXPECT_EQ(object.GetNumber("missing.x"), 0);
    EXPECT_EQ(object.GetText("b.c"), "1,2");
    EXPECT_EQ(object.GetText("missing.x"), "");
    JsonObject child = object.GetObject("b");
    EXPECT_EQ(child.ToText(), "{\"c\":[1,2]}");
    EXPECT_TRUE(object.DeleteMember("b"));
    EXPECT_EQ(object.TypeOf("b"), kJsonNull);
    EXPECT_EQ(child.ArrayLength("c"), 2);
    // The helper members of every object stay out of member lists and JSON.
    ASSERT_TRUE(object.SetExpression("t", "'da.toJSONString()'"));
    EXPECT_EQ(object.GetText("t"), "{\"a\":1,\"s\":\"x\",\"n\":0.3}");
    ASSERT_TRUE(object.SetExpression("p", "'\\'{\"q\":5}\\'.parseJSON()'"));
    EXPECT_EQ(object.GetNumber("p.q"), 5);
    EXPECT_EQ(object.MemberNames(names, ""), 5);
    EXPECT_EQ(names, (std::vector<Text>{"a", "s", "n", "t", "p"}));
    // A copy is a second reference to the same document.
    JsonObject copy = object;
    ASSERT_TRUE(copy.SetNumber("a", 2));
    EXPECT_EQ(object.GetNumber("a"), 2);
    ASSERT_TRUE(object.Clear());
    EXPECT_EQ(copy.ToText(), "{}");
}

TEST(JsonObject, RunawayScriptsStopAtTheTimeLimit) {
    JsonObject object;
    ASSERT_TRUE(object.SetMember("kept", "yes"));
    const long timeouts = ScriptEngine::TimeoutCount();
    EXPECT_FALSE(object.SetExpression("x", "'while(1){}'"));
    EXPECT_EQ(ScriptEngine::TimeoutCount(), timeouts + 1);
    EXPECT_EQ(object.GetText("kept"), "yes");

    // Catching the stop does not escape it.
    object.GetEngine()->SetTimeLimit(100);
    EXPECT_FALSE(object.SetExpression(
        "x", "'for (;;) { try { while (1) {} } catch (e) {} finally { continue; } }'"));
    EXPECT_EQ(ScriptEngine::TimeoutCount(), timeouts + 2);
    EXPECT_TRUE(object.SetMember("after", "ok"));
    EXPECT_EQ(object.ToText(), "{\"kept\":\"yes\",\"after\":\"ok\"}");
}

TEST(JsonObject, MemoryBombsFailAndTheHeapRecovers) {
    JsonObject object;
    ASSERT_TRUE(object.SetMember("kept", "yes"));
    const std::size_t before = object.GetEngine()->HeapBytes();
    struct Bomb {
        Text script;
        std::size_t limit;
    };
    // Only the memory bound may stop these: with the time bound at its default, a slow or
    // loaded machine could end a bomb by time first and hide whether memory is bounded.
    object.GetEngine()->SetTimeLimit(10 * 60 * 1000);
    // Many small blocks are slow to pile up to the full limit; a lower one shows the same.
    const Bomb bombs[] = {
        {"'(function () { var s = \"x\"; for (;;) s = s + s; })()'",
         ScriptEngine::kDefaultHeapLimit},
        {"'\"x\".repeat(1 << 28)'", ScriptEngine::kDefaultHeapLimit},
        {"'new ArrayBuffer(200 * 1024 * 1024)'", ScriptEngine::kDefaultHeapLimit},
        {"'(function () { var a = []; for (var i = 0; ; i++) a.push(\"abcdefgh\" + i); })()'",
         std::size_t{8} << 20},
    };
    for (const Bomb& bomb : bombs) {
        object.GetEngine()->SetHeapLimit(bomb.limit);
        const long timeouts = ScriptEngine::TimeoutCount();
        EXPECT_FALSE(object.SetExpression("x", bomb.script)) << bomb.script;
        EXPECT_EQ(ScriptEngine::TimeoutCount(), timeouts) << bomb.script;  // stopped by memory
        EXPECT_LT(object.GetEngine()->HeapBytes(), before + (std::size_t{1} << 20)) << bomb.script;
        EXPECT_EQ(object.GetText("kept"), "yes") << bomb.script;
    }
}

TEST(JsonObject, FatalEngineErrorsLeaveTheProcessAndTheObjectWorking) {
    JsonObject object;
    ASSERT_TRUE(object.SetMember("lost", "yes"));
    const long fatals = ScriptEngine::FatalCount();
    EXPECT_FALSE(object.GetEngine()->Run(
        [](duk_hthread* ctx, void*) -> int {
            duk_fatal(ctx, "broken");
            return 0;
        },
        nullptr));
    EXPECT_EQ(ScriptEngine::FatalCount(), fatals + 1);
    // The heap was rebuilt: an empty document and every helper in place.
    EXPECT_EQ(object.ToText(), "{}");
    ASSERT_TRUE(object.ArrayAppend("1", "a", true));
    EXPECT_EQ(object.ArrayLength("a"), 1);
}

TEST(JsonLookup, ConcurrentLookupsOnFourThreads) {
    std::vector<int> failures(4, 0);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([t, &failures] {
            for (int i = 0; i < 20; ++i) {
                const Text id = std::to_string(t * 1000 + i);
                Text json = "{\"id\":" + id + ",\"canDownload\":" + (i % 2 ? "true" : "false") +
                            ",\"name\":\"字体" + id + "\"}";
                if (JsonLookup(json, "id") != id ||
                    JsonLookup(json, "canDownload") != (i % 2 ? "true" : "false") ||
                    JsonLookup(json, "name") != "字体" + id)
                    ++failures[t];
            }
        });
    }
    for (auto& thread : threads)
        thread.join();
    EXPECT_EQ(failures, std::vector<int>(4, 0));
}

}  // namespace
