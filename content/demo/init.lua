-- The demo's entry script: the player runs this file, then calls startup()
-- on the first frame.

function startup()
  print("Vostrelle demo started")
end
