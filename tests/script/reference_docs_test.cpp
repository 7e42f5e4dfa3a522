// The content authors' reference (docs/scripting.md) against the scene API
// the engine really registers: every bound class, method, global function
// and constant is documented, and everything documented is bound. The
// reference is read by the layout rules its own introduction states.
#include <gtest/gtest.h>
#include <lua.hpp>

#include <cstdlib>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "script/engine.h"
#include "script_harness.h"

namespace {

using Names = std::set<std::string>;

struct Api {
  std::map<std::string, Names> classes;  // bound classes and value types, by global name
  Names functions;
  std::map<std::string, double> constants;
  Names unclassified;  // globals that are none of these
};

// The string keys of the table at idx.
Names keysOf(lua_State* L, int idx) {
  Names keys;
  idx = lua_absindex(L, idx);
  lua_pushnil(L);
  while (lua_next(L, idx)) {
    lua_pop(L, 1);
    if (lua_type(L, -1) == LUA_TSTRING) keys.insert(lua_tostring(L, -1));
  }
  return keys;
}

Names globalsOf(lua_State* L) {
  lua_pushglobaltable(L);
  Names names = keysOf(L, -1);
  lua_pop(L, 1);
  return names;
}

// What the engine adds to a state holding Lua's own libraries, read from
// the state itself: a global table with a class metatable in the registry is
// a bound class (its methods are the table's entries but the constructor
// `new`), a global function with one is a value type (its methods are the
// metatable's entries but the metamethods), any other function is a global
// function and a number a constant.
Api boundApi() {
  lua_State* plain = luaL_newstate();
  luaL_openlibs(plain);
  const Names standard = globalsOf(plain);
  lua_close(plain);

  Api api;
  LMP_Engine engine;
  lua_State* L = engine.L;
  if (!L) return api;
  for (const std::string& name : globalsOf(L)) {
    if (standard.count(name)) continue;
    lua_getglobal(L, name.c_str());
    lua_getfield(L, LUA_REGISTRYINDEX, name.c_str());
    const bool hasMetatable = lua_istable(L, -1);
    if (hasMetatable && lua_istable(L, -2)) {
      Names methods = keysOf(L, -2);
      methods.erase("new");
      api.classes[name] = methods;
    } else if (hasMetatable && lua_isfunction(L, -2)) {
      Names methods;
      for (const std::string& key : keysOf(L, -1))
        if (key.compare(0, 2, "__") != 0) methods.insert(key);
      api.classes[name] = methods;
    } else if (lua_isfunction(L, -2)) {
      api.functions.insert(name);
    } else if (lua_type(L, -2) == LUA_TNUMBER) {
      api.constants[name] = lua_tonumber(L, -2);
    } else {
      api.unclassified.insert(name);
    }
    lua_pop(L, 2);
  }
  return api;
}

struct Documented {
  std::map<std::string, Names> classes;
  std::map<std::string, Names> inherits;
  Names functions;
  std::map<std::string, std::string> constants;  // name -> value as written
};

std::string readFile(const std::string& path) {
  std::ifstream in(path);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// The calls an entry documents: an entry is a list item that begins with a
// call in backticks, with its indented continuation lines, and the calls
// before its first colon are its names ("- `a(x)`, `b()` -> n: text" gives a
// and b, whatever the text goes on to mention).
Names entryNames(const std::string& entry) {
  static const std::regex call("`([A-Za-z_][A-Za-z0-9_]*)\\(");
  Names names;
  if (entry.compare(0, 3, "- `") != 0) return names;
  const size_t colon = entry.find(": ");
  const std::string head = entry.substr(0, colon);
  for (std::sregex_iterator it(head.begin(), head.end(), call), end; it != end; ++it) names.insert((*it)[1].str());
  return names;
}

std::vector<std::string> cells(const std::string& row) {
  std::vector<std::string> out;
  std::stringstream s(row);
  std::string cell;
  std::getline(s, cell, '|');  // before the first bar
  while (std::getline(s, cell, '|')) {
    const size_t a = cell.find_first_not_of(' '), b = cell.find_last_not_of(' ');
    out.push_back(a == std::string::npos ? "" : cell.substr(a, b - a + 1));
  }
  return out;
}

Documented readReference(const std::string& text) {
  static const std::regex classHeading("^### `([A-Za-z_][A-Za-z0-9_]*)`\\s*$");
  static const std::regex inheritsLine("^\\*\\*Inherits\\*\\*");
  static const std::regex backticked("`([A-Za-z_][A-Za-z0-9_]*)`");
  static const std::regex constantCell("^`([A-Z][A-Z0-9_]*)`$");
  Documented doc;
  enum Section { OTHER, FUNCTIONS, CONSTANTS } section = OTHER;
  std::string current;  // the class whose section this is, if any
  std::string entry;  // the list entry being read, continuation lines joined
  auto endEntry = [&] {
    Names* into = !current.empty() ? &doc.classes[current] : section == FUNCTIONS ? &doc.functions : nullptr;
    if (into)
      for (const std::string& name : entryNames(entry)) into->insert(name);
    entry.clear();
  };
  std::stringstream lines(text);
  std::string line;
  while (std::getline(lines, line)) {
    std::smatch m;
    if (!entry.empty() && line.compare(0, 2, "  ") == 0) {
      entry += " " + line.substr(line.find_first_not_of(' '));
      continue;
    }
    endEntry();
    if (line.compare(0, 3, "## ") == 0) {
      const std::string title = line.substr(3);
      section = title == "Global functions" ? FUNCTIONS : title.compare(0, 9, "Constants") == 0 ? CONSTANTS : OTHER;
      current.clear();
    } else if (line.compare(0, 4, "### ") == 0) {
      current = std::regex_match(line, m, classHeading) ? m[1].str() : "";
      if (!current.empty()) doc.classes[current];
    } else if (!current.empty() && std::regex_search(line, inheritsLine)) {
      for (std::sregex_iterator it(line.begin(), line.end(), backticked), end; it != end; ++it)
        doc.inherits[current].insert((*it)[1].str());
    } else if (line.compare(0, 3, "- `") == 0) {
      entry = line;
    } else if (section == CONSTANTS && line.compare(0, 1, "|") == 0) {
      const std::vector<std::string> row = cells(line);
      for (size_t i = 0; i + 1 < row.size(); ++i)
        if (std::regex_match(row[i], m, constantCell)) doc.constants[m[1].str()] = row[i + 1];
    }
  }
  endEntry();
  // A class has what it inherits besides its own entries.
  for (auto& [name, methods] : doc.classes)
    for (const std::string& base : doc.inherits[name])
      if (doc.classes.count(base)) methods.insert(doc.classes[base].begin(), doc.classes[base].end());
  return doc;
}

// "a, b" for the names of `have` missing from `against`.
std::string missing(const Names& have, const Names& against) {
  std::string out;
  for (const std::string& n : have)
    if (!against.count(n)) out += (out.empty() ? "" : ", ") + n;
  return out;
}

template <class V>
Names keys(const std::map<std::string, V>& m) {
  Names out;
  for (const auto& entry : m) out.insert(entry.first);
  return out;
}

class Reference : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    api = new Api(boundApi());
    const std::string text = readFile(std::string(VS_SOURCE_DIR) + "/docs/scripting.md");
    doc = new Documented(readReference(text));
  }
  static void TearDownTestSuite() {
    delete api;
    delete doc;
  }
  static Api* api;
  static Documented* doc;
};
Api* Reference::api = nullptr;
Documented* Reference::doc = nullptr;

TEST_F(Reference, TheEngineRegistersWhatTheReaderExpects) {
  // The enumeration itself must see the scene API, or every comparison
  // below would pass on nothing.
  EXPECT_GE(api->classes.size(), 30u);
  EXPECT_GE(api->functions.size(), 27u);
  EXPECT_GE(api->constants.size(), 270u);
  EXPECT_EQ(missing(api->unclassified, {}), "") << "globals of no known kind";
}

TEST_F(Reference, EveryClassIsDocumentedAndEveryDocumentedClassIsBound) {
  EXPECT_EQ(missing(keys(api->classes), keys(doc->classes)), "") << "bound but not in docs/scripting.md";
  EXPECT_EQ(missing(keys(doc->classes), keys(api->classes)), "") << "in docs/scripting.md but not bound";
}

TEST_F(Reference, EveryMethodIsDocumentedAndEveryDocumentedMethodIsBound) {
  for (const auto& [name, methods] : api->classes) {
    auto it = doc->classes.find(name);
    if (it == doc->classes.end()) continue;  // reported by the class test
    EXPECT_EQ(missing(methods, it->second), "") << name << ": bound but not documented";
    EXPECT_EQ(missing(it->second, methods), "") << name << ": documented but not bound";
  }
}

TEST_F(Reference, EveryGlobalFunctionIsDocumentedAndBound) {
  EXPECT_EQ(missing(api->functions, doc->functions), "") << "bound but not documented";
  EXPECT_EQ(missing(doc->functions, api->functions), "") << "documented but not bound";
}

TEST_F(Reference, EveryConstantIsDocumentedWithItsValue) {
  EXPECT_EQ(missing(keys(api->constants), keys(doc->constants)), "") << "bound but not documented";
  EXPECT_EQ(missing(keys(doc->constants), keys(api->constants)), "") << "documented but not bound";
  for (const auto& [name, written] : doc->constants) {
    auto it = api->constants.find(name);
    if (it == api->constants.end()) continue;
    char* end = nullptr;
    const double value = std::strtod(written.c_str(), &end);
    EXPECT_TRUE(end != written.c_str() && *end == '\0') << name << ": value \"" << written << "\" is no number";
    EXPECT_EQ(value, it->second) << name;
  }
}

// The first block of `language` code after the heading, or "" when none.
std::string codeBlockAfter(const std::string& text, const std::string& heading, const std::string& language) {
  const size_t at = text.find("\n" + heading + "\n");
  if (at == std::string::npos) return "";
  const std::string open = "```" + language + "\n";
  const size_t begin = text.find(open, at);
  if (begin == std::string::npos) return "";
  const size_t end = text.find("```", begin + open.size());
  return end == std::string::npos ? "" : text.substr(begin + open.size(), end - begin - open.size());
}

// The models-set example of docs/models-format.md loads, and its objects are
// what the text beside it says they are.
TEST(ModelsFormat, TheWorkedExampleLoadsAsDescribed) {
  const std::string text = readFile(std::string(VS_SOURCE_DIR) + "/docs/models-format.md");
  const std::string xml = codeBlockAfter(text, "## A worked example", "xml");
  ASSERT_NE(xml, "") << "no xml block after the worked example's heading";
  scripttest::Player p({{"triangle.xml", xml}});
  EXPECT_EQ(p.run(R"(
    local models = newModelsSet("triangle.xml")
    local scene = newScene()
    local triangle = newMesh(scene, models:get("triangle"))
    assert(triangle:getNumVertices() == 3)
    assert(triangle:getVertexPosition(1) == v3(0, 0, 0))
    assert(triangle:getVertexPosition(2) == v3(1, 0, 0))
    assert(triangle:getVertexPosition(3) == v3(0, 1, 0))
    assert(triangle:getPosition() == v3(0, 0, 0.5))
    assert(triangle:getColor() == color(1, 0, 0, 1))
    local sun = newLamp(scene, models:get("sun"))
    assert(sun:getColor() == color(1, 1, 1, 1))
    assert(sun:getAxis(AXIS_Z) == v3(0, 0, 1))
    local eye = newCamera(scene, models:get("eye"))
    assert(math.abs(eye:getFOV() - 45) < 1e-9)
    assert(eye:getPosition() == v3(0.5, 0.5, 3))
    assert(eye:getAxis(AXIS_Z) == v3(0, 0, 1)))"),
            "");
  EXPECT_TRUE(p.controller->failures.empty()) << p.controller->failures[0];

  // The script shown with it starts without a failure.
  const std::string script = codeBlockAfter(text, "## A worked example", "lua");
  ASSERT_NE(script, "") << "no lua block after the worked example's heading";
  scripttest::Player shown({{"triangle.xml", xml}, {"init.lua", script}});
  shown.controller->frame(nullptr, nullptr);
  EXPECT_EQ(shown.controller->load.state, 3);
  EXPECT_TRUE(shown.controller->failures.empty()) << shown.controller->failures[0];
}

// The reader itself, on a small text of every kind of entry.
TEST(ReferenceReader, ReadsClassesInheritanceFunctionsAndConstants) {
  const Documented d = readReference(
      "## Classes\n"
      "### `newThing`\n"
      "Constructor `newThing(scene)`, not an entry.\n"
      "- `getA()` -> n; `setA(n)`: the a; mentions `other()` in passing.\n"
      "- not an entry `hidden()`\n"
      "- `getB()`, `setB(n)` -> n, written over\n"
      "  two lines: `notThis()`\n"
      "### `newMore`\n"
      "**Inherits** the methods of `newThing`.\n"
      "- `extra()`\n"
      "## Global functions\n"
      "- `trace(...)` does nothing\n"
      "## Constants\n"
      "### Families\n"
      "- `notAMethod()`\n"
      "| `A_ONE` | 1 | `A_TWO` | 2 |\n"
      "## Events\n"
      "- `afterTheEnd()`\n");
  EXPECT_EQ(d.classes.at("newThing"), (Names{"getA", "getB", "setA", "setB"}));
  EXPECT_EQ(d.classes.at("newMore"), (Names{"extra", "getA", "getB", "setA", "setB"}));
  EXPECT_EQ(d.functions, (Names{"trace"}));
  EXPECT_EQ(d.constants.size(), 2u);
  EXPECT_EQ(d.constants.at("A_TWO"), "2");
}

}  // namespace
