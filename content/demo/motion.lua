-- What moves the demo by hand and on its own: the bodies can be picked up
-- with the left button and thrown, a drag over empty space (either button)
-- orbits the camera around the middle of the floor and the wheel brings it
-- nearer, and a gold gem turns and bobs on its keyframes (gem.xml).

local motion = {}

local gem  -- the gem's animation
local view  -- the viewport the mouse navigates
local nearest, farthest = 4, 30  -- the camera's distances from its target
local loop = 4  -- seconds of one turn of the gem

local heldBody  -- the body the mouse holds, if any

-- A body becomes something to grab: its looks can be picked, and the body
-- itself, not its looks, follows the mouse. Drags (and so throws) are kept
-- under 15 units a second. A body is held by its centre, so that its weight
-- does not swing it round the point the mouse took.
function motion.grabbable(body)
  body:enableState(STATE_MOVABLE, SCOPE_OBJECT)
  local looks = body:getChild()
  while looks do
    looks:enableState(STATE_ACTIVE, SCOPE_OBJECT)
    looks:setMaxMouseMove(15 * body:getScene():getIntegrationStep(), SCOPE_OBJECT)
    looks:setCallback(CB_MOUSE_DOWN, function()
      setPickPosition(v3(0, 0, 0))
      heldBody = body
      return true
    end)
    looks = looks:getSibling()
  end
end

-- The camera orbits the middle of the floor from where the models set put
-- it: straight from -y, 15 degrees over the horizon, 13 units away. Walls
-- at the floor's edges keep thrown bodies in sight; the gem starts turning.
function motion.start(scene, shown)
  view = shown
  view:setNavigationMode(NAVIGATION_MIXED)
  view:setNavigationPosition(v3(0, 0, 1.6))
  view:setNavigationRadius(13, nearest, farthest)
  view:setNavigationAzimuth(90)
  view:setNavigationElevation(15, 3, 85)
  scene:setBounds({-10, 10, -10, 10, 0, 100})
  local models = newModelsSet("gem.xml")
  gem = newAnimation(models:getAnimationData("spin"), newMesh(scene, models:get("gem")))
end

-- The gem's keys span more than one turn, so the clock is wound back by a
-- turn each time it completes one.
-- The wheel, with nothing held: each notch takes the camera a tenth of its
-- distance nearer or farther, so from the farthest view to the nearest is
-- about twenty notches. The player's own zoom then takes its fixed step
-- (0.002 a wheel unit) off the radius, so that step is added first.
function motion.zoom(amount)
  if getPickedObject() then return end
  local wanted = view:getNavigationRadius() * 0.9 ^ (amount / 120)
  wanted = math.max(nearest, math.min(farthest, wanted))
  view:setNavigationRadius(wanted + amount * 0.002, nearest, farthest)
end

-- While held, a body's spin dies away within a few frames.
function motion.update()
  local t = gem and gem:getTime()
  if t and t >= loop then gem:seek(t - loop) end
  if heldBody and not getPickedObject() then heldBody = nil end
  if heldBody then heldBody:setAngularSpeed(heldBody:getAngularSpeed() * 0.8) end
end

return motion
