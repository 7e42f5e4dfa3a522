-- What moves the demo by hand and on its own: the bodies can be picked up
-- with the left button and thrown, a drag over empty space (either button)
-- orbits the camera around the middle of the floor and the wheel brings it
-- nearer, and a gold gem turns and bobs on its keyframes (gem.xml).

local motion = {}

local gem  -- the gem's animation
local loop = 4  -- seconds of one turn of the gem

-- A body becomes something to grab: its looks can be picked, and the body
-- itself, not its looks, follows the mouse. Drags (and so throws) are kept
-- under 15 units a second.
function motion.grabbable(body)
  body:enableState(STATE_MOVABLE, SCOPE_OBJECT)
  local looks = body:getChild()
  while looks do
    looks:enableState(STATE_ACTIVE, SCOPE_OBJECT)
    looks:setMaxMouseMove(15 * body:getScene():getIntegrationStep(), SCOPE_OBJECT)
    looks = looks:getSibling()
  end
end

-- The camera orbits the middle of the floor from where the models set put
-- it: straight from -y, 15 degrees over the horizon, 13 units away. Walls
-- at the floor's edges keep thrown bodies in sight; the gem starts turning.
function motion.start(scene, view)
  view:setNavigationMode(NAVIGATION_MIXED)
  view:setNavigationPosition(v3(0, 0, 1.6))
  view:setNavigationRadius(13, 4, 30)
  view:setNavigationAzimuth(90)
  view:setNavigationElevation(15, 3, 85)
  scene:setBounds({-10, 10, -10, 10, 0, 100})
  local models = newModelsSet("gem.xml")
  gem = newAnimation(models:getAnimationData("spin"), newMesh(scene, models:get("gem")))
end

-- The gem's keys span more than one turn, so the clock is wound back by a
-- turn each time it completes one.
function motion.update()
  local t = gem and gem:getTime()
  if t and t >= loop then gem:seek(t - loop) end
end

return motion
