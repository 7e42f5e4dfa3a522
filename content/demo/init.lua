-- The demo's entry script: the player runs this file, then calls startup()
-- on the first frame.
--
-- A small physics scene: balls and a box dropped onto the floor at z = 0.
-- Space drops another ball; the log reports where everything is each second.
-- The floor, the ball and box shapes, the sun and the camera come from the
-- models set scene.xml; each body carries a copy of a shape, whose collision
-- volume gives the body its size. Each landing knocks where it happens,
-- heard from the camera (sounds/knock.ogg is made by the build).

local motion = require("motion")  -- the mouse's grabs and orbit, the gem
local scene, models
local bodies = {}
local clock, nextReport = 0, 1
local knock
local lastKnock = {}  -- body -> clock of its last knock

local function addBody(name, position, size, shape)
  local body = newRigidBody(scene)
  body:setName(name)
  newMesh(body, models:get(shape)):setScale(v3(size, size, size))
  body:setPosition(position)
  motion.grabbable(body)
  bodies[#bodies + 1] = body
  return body
end

local function report()
  for _, body in ipairs(bodies) do
    local p = body:getPosition()
    io.write(string.format("%-6s at (%6.2f, %6.2f, %6.2f)%s", body:getName(),
                           p:x(), p:y(), p:z(), body:getStill() and ", still" or ""))
  end
end

local function update(dt)
  clock = clock + dt
  motion.update()
  if clock >= nextReport then
    nextReport = nextReport + 1
    io.write(string.format("t = %.0f s", clock))
    report()
  end
end

-- A hard enough contact with the floor plays the knock at the contact point,
-- louder for a harder landing; a body knocks at most every 0.15 s.
local function landed(_, point, _, impulse, body, _, other)
  if other ~= nil or impulse < 1 or not knock then return end
  if lastKnock[body] and clock - lastKnock[body] < 0.15 then return end
  lastKnock[body] = clock
  local sound = newSound(scene, knock)
  sound:setPosition(point)
  sound:setVolume(math.min(1, impulse / 10))
end

local function event(kind, code)
  if kind == EVENT_KEY_DOWN and code == KEY_SPACE then
    addBody("ball" .. #bodies, v3(math.random() - 0.5, math.random() - 0.5, 4), 0.3, "ball")
    return true
  end
  if kind == EVENT_ZOOM then
    motion.zoom(code)  -- code is the wheel's amount here
    return false
  end
  if kind == EVENT_CLOSE then
    io.write("Vostrelle demo closing")
  end
  return false
end

function startup()
  setBackgroundColor(color(0.18, 0.24, 0.34, 1))
  scene = newScene()
  models = newModelsSet("scene.xml")
  local floor = newMesh(scene, models:get("floor"))
  require("looks").add(scene, models, floor)
  -- The sun slants in over the camera's left, a weak light from the front right
  -- and a little ambient light fill in the sides it leaves dark.
  newLamp(scene, models:get("sun")):setAmbientColor(color(0.3, 0.3, 0.33, 1))
  newLamp(scene, models:get("fill"))
  local eye = newCamera(scene, models:get("eye"))
  local view = newViewport(0, 0, 1, 0.75)
  view:setCamera(eye)
  view:setMike(newMike(eye))  -- the listener rides with the camera
  motion.start(scene, view)
  knock = newSample("sounds/knock.ogg")
  scene:setCallback(CB_POST_COLLISION, landed)
  for i = 1, 3 do
    addBody("ball" .. i, v3(i - 2, 0, 1 + i), 0.4, "ball")
  end
  addBody("box", v3(0, 0.1, 6), 0.5, "box")
  require("overlays").show(scene)
  setCallback(CB_UPDATE, update)
  setCallback(CB_EVENT, event)
  io.write("Vostrelle demo started: space drops a ball, Ctrl+Q quits")
end
