-- The demo's 2-D overlays: a title over the scene and a badge image in the
-- top right corner (images/badge.png is made by the build). Positions and
-- sizes are in units of the viewport's width, y downwards.
local overlays = {}

function overlays.show(scene)
  local title = newText(scene)
  title:setText("Vostrelle demo\nspace drops a ball")
  title:setSize(0.028)
  title:setColor(color(1, 1, 1, 1))
  title:setBackgroundColor(color(0.05, 0.08, 0.15, 0.6))
  title:setPosition(v3(0.03, 0.05, 0))

  local badge = newImage(scene, newTexture("images/badge.png"))
  badge:setScale(v3(0.08, 0.08, 1))
  badge:setPosition(v3(0.89, 0.02, 0))
end

return overlays
