// Parses one XML element for a model reader's loadXml.
#pragma once

#include <gtest/gtest.h>
#include <tinyxml.h>

inline const TiXmlElement* parseElement(TiXmlDocument& doc, const char* xml) {
  doc.Parse(xml);
  EXPECT_FALSE(doc.Error()) << doc.ErrorDesc();
  return doc.RootElement();
}
