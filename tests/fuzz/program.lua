-- The fuzz targets' byte programs (init.lua of their package). startup
-- makes a scene with some of everything; then each fz_step() reads one step
-- from the global string fz_bytes: a call of a constructor, of a method of a
-- handle the program holds, or of a global function, with arguments of the
-- kinds the scripting reference names (signatures.lua); or an action for
-- the player to take between scripts (a frame, the mouse, a key ...),
-- answered as numbers. Callbacks it sets run further steps from inside the
-- frame. Every call is protected: a Lua error is what the program may
-- cause, not the end of it.

local sig = require("signatures")
local registry = debug.getregistry()
local bytes = fz_bytes or ""
local pos = 1
local depth = 0

local function byte()
  local b = bytes:byte(pos) or 0
  pos = pos + 1
  return b
end

local function sortedKeys(t, keep)
  local keys = {}
  for name, value in pairs(t) do
    if type(name) == "string" and keep(name, value) then keys[#keys + 1] = name end
  end
  table.sort(keys)
  return keys
end

local function pick(list, b)
  if #list == 0 then return nil end
  return list[b % #list + 1]
end

-- The bound API as the engine registers it.
local CLASSES = sortedKeys(_G, function(name, value)
  return type(value) == "table" and name:sub(1, 3) == "new" and type(registry[name]) == "table"
end)
local CLASS_OF, METHODS, IS_OBJECT = {}, {}, {}
for _, class in ipairs(CLASSES) do
  CLASS_OF[_G[class]] = class
  METHODS[class] = sortedKeys(_G[class], function(name, value) return name ~= "new" and type(value) == "function" end)
  IS_OBJECT[class] = type(_G[class].getParent) == "function"
end
local FUNCTIONS = sortedKeys(sig.functions, function(name) return type(_G[name]) == "function" end)
local CONSTANTS = sortedKeys(_G, function(name, value)
  return type(value) == "number" and name:match("^[A-Z][A-Z0-9_]*$") ~= nil
end)

local function classOf(v)
  if type(v) ~= "userdata" then return nil end
  return CLASS_OF[getmetatable(v)]
end

-- A method's parameters: its class's entry, else an ancestor's, else any
-- class's method of that name.
local ANY_SIGNATURE = {}
for _, entry in pairs(sig.classes) do
  for name, params in pairs(entry.methods) do ANY_SIGNATURE[name] = ANY_SIGNATURE[name] or params end
end
local function signature(class, method)
  local entry = sig.classes[class]
  local seen = 0
  while entry and seen < 8 do
    if entry.methods[method] then return entry.methods[method] end
    entry = entry.inherits and sig.classes[entry.inherits]
    seen = seen + 1
  end
  return ANY_SIGNATURE[method]
end

if fz_trace then
  local missing = {}
  for _, class in ipairs(CLASSES) do
    for _, method in ipairs(METHODS[class]) do
      if not signature(class, method) then missing[#missing + 1] = class .. ":" .. method end
    end
  end
  io.write(string.format("fuzz: %d classes, %d functions; methods without parameters in the reference: %s",
                         #CLASSES, #FUNCTIONS, #missing > 0 and table.concat(missing, " ") or "none"))
end

-- Values by kind.
local NUMBERS = {0, 1, -1, 0.5, 2, 3, 10, 0.1, 100, 1e6, 1e308, -1e308, 0 / 0, math.huge, -math.huge, 2 ^ 31,
                 -2 ^ 31 - 1, 2 ^ 53, 1e-300, 5e-324, 90, 360, -720, 1e-3, 0.002, 45, 0.75, -0.0, 0.25, 4, 1e-9, 30,
                 3.3e13, -4e9, 1e20, 65536.5, 1e-7, 179.99}
local function number(b)
  if b < 224 then return NUMBERS[b % #NUMBERS + 1] end
  return (b - 240) * 0.25
end

local INTEGERS = {0, 1, 2, 3, 4, 5, -1, 6, 7, 8, 16, 31, 32, 63, 64, 100, 255, 256, 1023, 1024, 65535, 65536,
                  2 ^ 31 - 1, -2 ^ 31, 2 ^ 32, 1e10, 0.5, 0 / 0, math.huge, -7, 12, 1000}
local CONSTANT_VALUES = {}
for i, name in ipairs(CONSTANTS) do CONSTANT_VALUES[i] = _G[name] end
local function constantsOf(...)
  local values = {}
  for _, prefix in ipairs({...}) do
    for _, name in ipairs(CONSTANTS) do
      if name:sub(1, #prefix) == prefix then values[#values + 1] = _G[name] end
    end
  end
  return values
end
local NAMED_INTEGERS = {
  id = constantsOf("CB_"), frame = constantsOf("REF_"), frameA = constantsOf("REF_"), frameB = constantsOf("REF_"),
  filter = constantsOf("FILTER_"), kind = constantsOf("JOINT_"), shape = constantsOf("INTERPOL_"),
  type = constantsOf("OBJECT_"), scope = constantsOf("SCOPE_"), mask = constantsOf("STATE_"),
  mode = constantsOf("NAVIGATION_", "SHADOW_", "DISPLAY_MODE_"), axis = constantsOf("AXIS_"),
  i = constantsOf("KEY_"),
}
local function integer(name, b)
  local named = NAMED_INTEGERS[name]
  if named and #named > 0 and b < 160 then return named[b % #named + 1] end
  if b < 224 then return INTEGERS[b % #INTEGERS + 1] end
  return pick(CONSTANT_VALUES, byte())
end

local STRINGS = {"", "a", "ball", "root", "body", "sq", "sway", "skin", "m", "hull", "eye", "sun", "plain", "box",
                 "floor", "bulb", "b", "ga", "cube", "glass", "solid", "x", string.rep("x", 300),
                 "Hello\tworld\nsecond line\n\n\tend", "\xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80 \xff\xfe\xc3",
                 "%s%n%d", "AVAWAY Ta ff fi", string.rep("ab\n", 400), "BALL", "\0nul", "0x10", "12",
                 string.rep("a long line of text ", 20000)}
local MEDIA = {"t.png", "g.png", "t.jpg", "f.ttf", "s.ogg", "st.ogg", "v.ogg", "q.ogg", "set.xml"}
local MEDIA_OF = {newTexture = {"t.png", "g.png", "t.jpg"}, newFont = {"f.ttf"}, newSample = {"s.ogg", "st.ogg"},
                  newStream = {"v.ogg", "q.ogg"}, newModelsSet = {"set.xml"}}
local making  -- the class whose constructor the arguments are for
local ODD_FILES = {"missing.png", "", "init.lua", "config.xml", "signatures.lua", "T.PNG", "./t.png", "set.xml\0"}
local found = {}  -- names the program was answered (getNames, getName)
local function text(name, b)
  if name == "file" then
    -- Mostly files the package holds, of the kind the constructor reads.
    if b < 192 and MEDIA_OF[making] then return pick(MEDIA_OF[making], b) end
    if b < 232 then return MEDIA[b % #MEDIA + 1] end
    return ODD_FILES[b % #ODD_FILES + 1]
  end
  if #found > 0 and b >= 208 then return found[b % #found + 1] end
  return STRINGS[b % #STRINGS + 1]
end

local V3 = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}, {1, 2, 3}, {0, 0, -9.81}, {0.5, 0.5, 0}, {-1, -1, -1},
            {0, -6, 3}, {2, 2, 5}, {0 / 0, 0, 0}, {math.huge, 0, 0}, {1e308, 1e308, 1e308}, {1e-300, 0, 0},
            {0.25, 0.25, 0.5}, {3, 0, 0}, {0.5, 0.4, 0.5}, {0, 0, 8}, {-0.5, 0.5, 1}, {1, 1, 1}}
local function vector3(b)
  if b < 160 then
    local t = V3[b % #V3 + 1]
    return v3(t[1], t[2], t[3])
  end
  return v3(number(byte()), number(byte()), number(byte()))
end
local V2 = {{0, 0}, {0.5, 0.375}, {1, 0.75}, {0.1, 0.1}, {0.9, 0.6}, {-1, 2}, {0 / 0, 0.5}, {math.huge, 0},
            {1e308, -1e308}, {0.25, 0.5}, {2, 2}, {1e-300, 0}}
local function vector2(b)
  if b < 160 then
    local t = V2[b % #V2 + 1]
    return v2(t[1], t[2])
  end
  return v2(number(byte()), number(byte()))
end
local function matrix(b)
  local k = b % 8
  if k == 0 then return m33() end
  if k == 1 then return m33(v3(0, 1, 0), v3(-1, 0, 0), v3(0, 0, 1)) end
  if k == 2 then return m33(v3(2, 0, 0), v3(0, 2, 0), v3(0, 0, 2)) end
  if k == 3 then return m33(v3(0, 0, 0), v3(0, 0, 0), v3(0, 0, 0)) end
  if k == 4 then return m33(v3(0 / 0, 0, 0), v3(0, 1, 0), v3(0, 0, 1)) end
  if k == 5 then return m33(v3(1, 0, 0), v3(0, 0, -1), v3(0, 1, 0)) end
  return m33(vector3(byte()), vector3(byte()), vector3(byte()))
end
local COLORS = {{1, 1, 1, 1}, {1, 0, 0, 1}, {0, 1, 0, 0.5}, {0, 0, 0, 0}, {0.2, 0.4, 0.6, 1}, {2, -1, 0.5, 1},
                {0 / 0, 0, 0, 1}, {1, 1, 1, 0.01}, {0, 0, 1, 0.999}, {1, 1, 0, 0}}
local function colour(b)
  if b < 192 then
    local t = COLORS[b % #COLORS + 1]
    return color(t[1], t[2], t[3], t[4])
  end
  return color(number(byte()), number(byte()), number(byte()), number(byte()))
end
local function circle(n, r)
  local points = {}
  for i = 1, n do points[i] = v2(0.5 + r * math.cos(i), 0.4 + r * math.sin(i)) end
  return points
end
local function list(b)
  local k = b % 10
  if k == 0 then return {} end
  if k == 1 then return {-5, 5, -5, 5, 0, 10} end
  if k == 2 then return {INFINITE_MINUS, INFINITE_PLUS, INFINITE_MINUS, INFINITE_PLUS, 0, INFINITE_PLUS} end
  if k == 3 then return {0 / 0, 1, math.huge, -math.huge, 1e308, -1e308} end
  if k == 4 then return {v2(0.1, 0.1), v2(0.9, 0.1), v2(0.5, 0.7)} end
  if k == 5 then return {v2(0.3, 0.3)} end
  if k == 6 then return circle(200, 0.3) end
  if k == 7 then return {1, "x", true, {}} end
  if k == 8 then return {v2(0 / 0, 1), v2(math.huge, 0), v2(0.5, 0.5), v2(0.5, 0.5)} end
  return circle(3000, 2)
end

-- Handles the program holds, oldest first, at most 64.
local pool = {}
local function keep(v)
  if v == nil or not classOf(v) then return end
  for _, held in ipairs(pool) do
    if rawequal(held, v) then return end
  end
  if #pool < 64 then
    pool[#pool + 1] = v
  else
    pool[pos % 64 + 1] = v
  end
end
local function keepAll(ok, ...)
  if not ok then return end
  for i = 1, select("#", ...) do
    local v = select(i, ...)
    if type(v) == "userdata" then
      keep(v)
    elseif type(v) == "string" and #found < 32 then
      found[#found + 1] = v
    elseif type(v) == "table" then
      for _, name in ipairs(v) do
        if type(name) == "string" and #found < 32 then found[#found + 1] = name end
      end
    end
  end
end

local function handle(want, b)
  local candidates = {}
  for _, v in ipairs(pool) do
    local class = classOf(v)
    if want == "any" or class == want or (want == "object" and IS_OBJECT[class]) or
        (want == "parent" and (IS_OBJECT[class] or class == "newScene")) then
      candidates[#candidates + 1] = v
    end
  end
  if #candidates == 0 then candidates = pool end
  return pick(candidates, b)
end

local callbacks  -- below: they run program steps themselves

local KINDS = {
  n = "number", x = "number", y = "number", z = "number", w = "number", h = "number", t = "number",
  seconds = "number", degrees = "number", min = "number", max = "number", r = "number", g = "number",
  a = "number", d = "number", density = "number",
  i = "integer", index = "integer", id = "integer", mode = "integer", mask = "integer", frame = "integer",
  scope = "integer", axis = "integer", filter = "integer", kind = "integer", shape = "integer", type = "integer",
  component = "integer", column = "integer", frameA = "integer", frameB = "integer", vendor = "integer",
  product = "integer", handle = "integer",
  s = "string", name = "string", file = "string",
  b = "boolean", on = "boolean",
  f = "function",
  v = "v3", p = "v3", pA = "v3", pB = "v3", p1 = "v3", p2 = "v3", from = "v3", to = "v3", axisA = "v3",
  axisB = "v3",
  pt = "v2", size = "v2", centre = "v2",
  m = "m33", m1 = "m33", m2 = "m33",
  c = "color",
  table = "table",
  parent = "parent", source = "object", object = "object", bodyA = "newRigidBody", bodyB = "newRigidBody",
  scene = "newScene", texture = "newTexture", sample = "newSample", font = "newFont", camera = "newCamera",
  mike = "newMike", data = "newAnimationData",
}

local any
local function value(name, b)
  local kind = KINDS[name]
  if kind == "number" then return number(b) end
  if kind == "integer" then return integer(name, b) end
  if kind == "string" then return text(name, b) end
  if kind == "boolean" then return b % 2 == 0 end
  if kind == "function" then return callbacks[b % #callbacks + 1] end
  if kind == "v3" then return vector3(b) end
  if kind == "v2" then return vector2(b) end
  if kind == "m33" then return matrix(b) end
  if kind == "color" then return colour(b) end
  if kind == "table" then return list(b) end
  if kind then return handle(kind, b) end
  return any(b)
end

-- A value of any kind (nil among them), for parameters the reference does
-- not name and as a wrong argument.
local ANY_KINDS = {"n", "i", "s", "b", "f", "v", "pt", "m", "c", "table", "object", "any"}
function any(b)
  local k = b % (#ANY_KINDS + 1)
  if k == #ANY_KINDS then return nil end
  local name = ANY_KINDS[k + 1]
  if name == "any" then return handle("any", byte()) end
  return value(name, byte())
end

-- The arguments for a parameter list: every required one, as many optional
-- ones as the shape byte says, now and then one too few or one too many;
-- each of the documented kind, or (one in sixteen) anything.
local function arguments(params)
  local args = {}
  if not params then
    local n = byte() % 4
    for i = 1, n do args[i] = any(byte()) end
    return args, n
  end
  local shape = byte()
  local names, optional = {}, {}
  for _, p in ipairs(params) do
    if p:sub(1, 1) == "?" then
      optional[#optional + 1] = p:sub(2)
    else
      names[#names + 1] = p
    end
  end
  for i = 1, shape % (#optional + 1) do names[#names + 1] = optional[i] end
  if shape >= 0xf8 and #names > 0 then
    names[#names] = nil
  elseif shape >= 0xf0 then
    names[#names + 1] = "any"
  end
  for i, name in ipairs(names) do
    local b = byte()
    if b >= 0xf0 then
      args[i] = any(byte())
    else
      args[i] = value(name, b)
    end
  end
  return args, #names
end

-- With fz_trace set (VS_FUZZ_LOG in the environment) every call goes to
-- the log with its outcome, to follow a finding step by step.
local function called(what, n, ok, ...)
  if fz_trace then
    local first = select("#", ...) > 0 and tostring((...)) or ""
    io.write(string.format("fuzz: %s with %d argument(s): %s %s", what, n, ok and "ok" or "error", first))
  end
  keepAll(ok, ...)
end

local function callMethod(anyClass)
  if #pool == 0 then return end
  local target = pick(pool, byte())
  local class = classOf(target)
  if anyClass or not class then class = pick(CLASSES, byte()) end
  local method = pick(METHODS[class], byte())
  if not method then return end
  local args, n = arguments(signature(class, method))
  called(class .. ":" .. method, n, pcall(_G[class][method], target, table.unpack(args, 1, n)))
end

-- Calls a program may make in all, loops and callbacks included: enough
-- for any state, few enough for the fuzzer's time limit. Making something
-- counts for ten (each body, joint or sound costs every frame), reading a
-- file for a hundred.
local budget = 20000
local LOADS = {newTexture = true, newFont = true, newSample = true, newStream = true, newModelsSet = true}

local function construct()
  local class = pick(CLASSES, byte())
  budget = budget - (LOADS[class] and 100 or 10)
  local entry = sig.classes[class]
  making = class
  local args, n = arguments(entry and entry.ctor)
  making = nil
  called(class, n, pcall(_G[class], table.unpack(args, 1, n)))
end

local function callGlobal()
  local name = pick(FUNCTIONS, byte())
  if not name then return end
  local args, n = arguments(sig.functions[name])
  called(name, n, pcall(_G[name], table.unpack(args, 1, n)))
end

-- Actions the player takes (the C++ side knows these numbers).
local END, SCRIPT, FRAME, MOUSE, KEY, WHEEL, SIZE, CLOSE, DEVICE = -1, 0, 1, 2, 3, 4, 5, 6, 7

-- One step. Inside a callback only the script steps run.
local step
function step(nested)
  if pos > #bytes then return END end
  local op = byte()
  if budget <= 0 and op < 168 then return SCRIPT end
  budget = budget - 1
  if op < 96 then
    callMethod(false)
  elseif op < 100 then
    -- The next step again and again, as a loop in content would run it:
    -- many objects, a list that grows while something walks it.
    local times, start = 2 + byte() % 31, pos
    for _ = 1, times do
      pos = start
      step(true)
    end
  elseif op < 108 then
    callMethod(true)
  elseif op < 140 then
    construct()
  elseif op < 156 then
    callGlobal()
  elseif op < 164 then
    -- Let go of a handle; a collection may then find it unreachable.
    if #pool > 0 then table.remove(pool, byte() % #pool + 1) end
    if op % 2 == 0 then collectgarbage("collect") end
  elseif op < 168 then
    collectgarbage("collect")
  elseif nested then
    return SCRIPT
  elseif op < 196 then
    return FRAME, op - 168
  elseif op < 216 then
    return MOUSE, op - 196, byte(), byte()
  elseif op < 232 then
    return KEY, op % 2, byte()
  elseif op < 240 then
    return WHEEL, op % 2, byte()
  elseif op < 246 then
    return SIZE, byte(), byte()
  elseif op < 250 then
    return CLOSE
  else
    local device = byte()
    return DEVICE, device, bytes:sub(pos, pos + byte() % 16)
  end
  return SCRIPT
end

local function nested(...)
  keepAll(true, ...)
  if depth >= 2 then return true end
  depth = depth + 1
  for _ = 1, 1 + byte() % 3 do step(true) end
  depth = depth - 1
  return byte() % 2 == 0
end

callbacks = {
  nested,
  function() return true end,
  function() return false end,
  function() error("a callback's error") end,
  function() end,
  function(first, ...)
    -- Deletes what it is given, or a handle of the program.
    keepAll(true, first, ...)
    local victim = (classOf(first) and first) or pick(pool, byte())
    if victim and victim.delete then pcall(victim.delete, victim) end
    return true
  end,
  function(...)
    keepAll(true, ...)
    return true
  end,
}

function fz_step()
  local action, a, b, c = step(false)
  return action, a or 0, b or 0, c or 0
end

-- Some of everything, in the pool in this order.
function startup()
  local scene = newScene("fuzz")
  local models = newModelsSet("set.xml")
  keep(scene)
  keep(models)
  local body = newAnimatedMesh(scene, models:get("body"))
  local floor = newMesh(scene, models:get("floor"))
  local box = newMesh(scene, models:get("box"))
  local root = newLocator(scene, models:get("root"))
  local group = newObject(scene)
  local sun = newLamp(scene, models:get("sun"))
  newLamp(scene, models:get("bulb"))
  local eye = newCamera(scene, models:get("eye"))
  local view = newViewport(0, 0, 1, 0.75)
  view:setCamera(eye)
  local mike = newMike(eye)
  view:setMike(mike)
  local ball = newRigidBody(scene)
  ball:setPosition(v3(0.3, 0.2, 3))
  local ballVolume = newCollisionVolume(ball, models:get("ball"))
  newMesh(ball, models:get("box")):setScale(v3(0.4, 0.4, 0.4))
  local crate = newRigidBody(scene)
  crate:setPosition(v3(-1, 0, 2))
  local crateVolume = newCollisionVolume(crate, models:get("hull"))
  local spring = newSpring(ball, v3(0.3, 0.2, 3), crate, v3(-1, 0, 2))
  local joint = newJoint(JOINT_POINT_POINT, crate, v3(-1, 0, 2), v3(0, 0, 1), nil, v3(-1, 0, 4), v3(0, 0, 1))
  local png, jpeg = newTexture("t.png"), newTexture("t.jpg", FILTER_LINEAR)
  local font = newFont("f.ttf")
  local caption = newText(scene)
  caption:setFont(font)
  caption:setText("Fuzz\ttext\nline two")
  caption:setSize(0.05)
  caption:setPosition(v3(0.05, 0.1, 0))
  caption:setBackgroundColor(color(0, 0, 0, 0.5))
  local badge = newImage(scene, png)
  badge:setScale(v3(0.2, 0.2, 1))
  badge:setPosition(v3(0.7, 0.05, 0))
  local line = newPolyline(scene)
  line:setPoints({v2(0.1, 0.6), v2(0.5, 0.7), v2(0.3, 0.5)})
  line:setFillColor(color(0, 1, 0, 0.5))
  line:setThickness(0.01)
  local sample = newSample("s.ogg")
  local sound = newSound(scene, sample)
  sound:setLooping(true)
  local stream = newStream("v.ogg")
  local screen = newImage(scene, stream:getTexture())
  screen:setScale(v3(0.2, 0.2, 1))
  screen:setPosition(v3(0.05, 0.5, 0))
  box:setTexture(stream:getTexture())
  local voice = newSound(eye, stream:getSample())
  local animation = newAnimation(models:getAnimationData("sway"), box)
  box:setState(STATE_VISIBLE + STATE_ACTIVE)
  box:setCallback(CB_MOUSE_DOWN, nested)
  ball:setState(STATE_VISIBLE + STATE_ACTIVE + STATE_MOVABLE)
  ball:setCallback(CB_MOUSE_CLICK, nested)
  view:setCallback(CB_EVENT, nested)
  view:setNavigationMode(NAVIGATION_MIXED)
  sun:setShadow(true)
  setCallback(CB_UPDATE, callbacks[7])
  setCallback(CB_EVENT, function() return false end)
  scene:setCallback(CB_POST_COLLISION, function() return true end)
  local made = table.pack(body, floor, box, sun, eye, view, mike, ball, crate, spring, joint, png, jpeg, font, caption,
                          badge, line, sample, sound, stream, screen, voice, animation, root, group, ballVolume,
                          crateVolume, scene:getObject("a"), scene:getObject("b"), box:getMaterial(),
                          floor:getMaterial(), line:getMaterial(), models:getAnimationData("sway"), models:get("box"))
  for i = 1, made.n do keep(made[i]) end
  -- The program's first steps run while the content loads.
  for _ = 1, byte() % 4 do step(true) end
end
