// PLACEHOLDER: replaced by the property-list objects.
